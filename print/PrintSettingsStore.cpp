#include "print/PrintSettingsStore.h"

#include "data/Database.h"

void StorePrinterName(Database& db, const QString& printer) {
    db.execute(QStringLiteral("update table2 set [row2] = ? where row1 = '1'"), {printer});
}

void StoreCustomPaperSize(Database& db, const QString& width, const QString& height) {
    db.execute(QStringLiteral("update USER_SET set [set6] = ?,[set7] = ? where id = 2"), {width, height});
}

void StoreTableLines(Database& db, const QString& outline, const QString& inner) {
    db.execute(QStringLiteral("update USER_SET set [set4] = ?,[set5] = ? where id = 3"), {outline, inner});
}
