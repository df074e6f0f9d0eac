#pragma once

// The receipt template as the template page edits it: the title, the two remarks, the paper and the
// four millimetre corrections, read from and written to the ledger, and the checks a save makes.

#include <QString>

#include <array>
#include <optional>

class Database;

inline constexpr int kTitleMaxBytes = 50; // 25 Chinese characters
inline constexpr int kMaxMillimetres = 60;

// The millimetre corrections in the order they are checked and stored.
enum MillimetreField { OffsetX, OffsetY, MarginX, MarginY, MillimetreFieldCount };

struct TemplateValues {
    QString title;
    QString rightRemark;
    QString bottomRemark;
    int paperIndex = 1;
    // "保存前检查重复收据和读数": the main window's checks before it stores a receipt.
    bool saveChecks = true;
    // Whole millimetres as typed.
    std::array<QString, MillimetreFieldCount> millimetres{QStringLiteral("0"), QStringLiteral("0"),
                                                          QStringLiteral("0"), QStringLiteral("0")};
};

// Length of the text in the Chinese code page, where a Chinese character takes two bytes and one
// outside the code page its four GB18030 bytes.
int gbkByteLength(const QString& text);

// Whole millimetres of a box ("" and "-" are 0).
int millimetreValue(const QString& text);

// The first correction, in checking order, that lies beyond ±60 millimetres.
std::optional<MillimetreField>
firstMillimetreOutOfRange(const std::array<QString, MillimetreFieldCount>& values);

// What the operator is told about a correction out of range.
QString millimetreRangeMessage(MillimetreField field);

// The title, remarks and paper of USER_SET row 1. False when the row is missing (values unchanged).
bool LoadTemplateRow(Database& db, TemplateValues& values);

// The millimetre boxes as the in-memory print settings hold them (quarter millimetres, truncated).
void LoadTemplateMillimetres(TemplateValues& values);

// Writes the template to USER_SET row 1 and the corrections (four per millimetre) to the table2
// row '1', creating a row that is missing so that a save is never lost. Throws DbError.
void SaveTemplateRows(Database& db, const TemplateValues& values);

// Copies a saved template into the in-memory print settings.
void ApplyTemplateToAppSettings(const TemplateValues& values);
