#pragma once

// What the print settings dialogs store in the ledger: the printer, the custom paper size and
// the widths of the table lines.

#include <QString>

class Database;

void StorePrinterName(Database& db, const QString& printer);
void StoreCustomPaperSize(Database& db, const QString& width, const QString& height);
void StoreTableLines(Database& db, const QString& outline, const QString& inner);
