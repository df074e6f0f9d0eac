#pragma once

// The three pick-lists (room addresses, remarks, staff names): one single-column table each.

#include <QString>
#include <QStringList>

class Database;

struct ItemCategory {
    QString table;   // "addr_items", "remark_items", "people_items"
    QString caption; // the list's column heading
};

inline constexpr int kItemCategoryCount = 3;

// The category of an index of the category box (0 addresses, 1 remarks, 2 staff).
ItemCategory itemCategory(int index);

// Every entry of a list, in the order the ledger returns them.
QStringList LoadItems(Database& db, const QString& table);

// Changes of one list. Every row holding the old text changes or goes. Throw DbError.
void InsertItem(Database& db, const QString& table, const QString& text);
void RenameItem(Database& db, const QString& table, const QString& oldText, const QString& newText);
void DeleteItem(Database& db, const QString& table, const QString& text);
