#pragma once

// Ledgers of a given number of receipts for the benchmark: a copy of the empty ledger filled with
// rows that look like a landlord's years of monthly receipts. They are kept in a folder and
// reused while they still hold what this generator would write.

#include <QString>

struct SyntheticLedger {
    QString path;
    int receipts = 0;
    int rooms = 0;
    int months = 0;
    // An address with a receipt in every month, and one that has none.
    QString busiestAddress;
    QString missingAddress;
    bool generated = false; // false when a cached file was taken
    double seconds = 0;     // time spent making or checking it
};

// "幸福小区3栋2单元401" and the like; rooms spread over the estates first.
QString SyntheticRoomAddress(int room);

// How many rooms a ledger of that size spreads over (so that it spans several years).
int SyntheticRoomCount(int receipts);

// The ledger "bench-ledger-<receipts>-g<generator version>.rbk" in folder, made from emptyLedger unless a
// valid one is there. Throws std::runtime_error when it cannot be made.
SyntheticLedger MakeSyntheticLedger(const QString& emptyLedger, const QString& folder, int receipts);
