#include "settings/ItemLists.h"

#include "data/Database.h"

ItemCategory itemCategory(int index) {
    switch (index) {
    case 1:
        return {QStringLiteral("remark_items"), QStringLiteral("备注信息")};
    case 2:
        return {QStringLiteral("people_items"), QStringLiteral("工作人员")};
    default:
        return {QStringLiteral("addr_items"), QStringLiteral("房间地址")};
    }
}

QStringList LoadItems(Database& db, const QString& table) {
    QStringList items;
    for (Recordset rs = db.query(QStringLiteral("select * from ") + table); !rs.isEOF(); rs.moveNext())
        items << rs.field(0);
    return items;
}

// The table is one of the three pick-lists (itemCategory), never typed.
void InsertItem(Database& db, const QString& table, const QString& text) {
    db.execute(QStringLiteral("insert into ") + table + QStringLiteral(" ([items]) values(?)"), {text});
}

void RenameItem(Database& db, const QString& table, const QString& oldText, const QString& newText) {
    db.execute(QStringLiteral("update ") + table + QStringLiteral(" set items = ? where items = ? "),
               {newText, oldText});
}

void DeleteItem(Database& db, const QString& table, const QString& text) {
    db.execute(QStringLiteral("delete from ") + table + QStringLiteral(" where items = ?"), {text});
}
