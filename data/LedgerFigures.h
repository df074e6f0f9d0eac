#pragma once

// The counts a transfer between the engines compares: every table's rows, and for every money
// column (the number columns of RECEIPT and client.zuMoney) the values that are not NULL and their
// sum in cents. Each value is rounded to the cent on its own (half away from zero) and the cents
// are added up exactly, so that neither engine's way of adding doubles nor its way of printing
// them can make equal ledgers look different.

#include <QList>
#include <QString>

// Whole cents, summed exactly: a ledger's amounts rounded to the cent may exceed 64 bits
// (1e15 yuan is 1e17 cents, and there are many of them).
__extension__ typedef __int128 Cents;

// The counts of one money column.
struct MoneySum {
    QString column;    // as the ledger file names it: "total_money", "zuMoney"
    qint64 values = 0; // values that are not NULL
    Cents cents = 0;   // the sum, each value rounded to the cent
    qint64 odd = 0;    // values that are no finite number (text, infinity), not in the sum
    bool operator==(const MoneySum&) const = default;
};

// The counts of one table.
struct TableFigures {
    QString table; // as the ledger file names it: "RECEIPT", "USER", "client"
    qint64 rows = 0;
    QList<MoneySum> sums;
    bool operator==(const TableFigures&) const = default;
};

using LedgerFigures = QList<TableFigures>;

// "1234.5" for 123450 cents: yuan with the cents written when there are any, as the ledger prints
// amounts.
QString CentsText(Cents cents);

// The counts of both sides, a line per table, money columns below their table; a column whose
// counts differ between the sides is marked, and columns without values on either side are
// summed up in one line.
QString FiguresReport(const LedgerFigures& source, const LedgerFigures& target);
