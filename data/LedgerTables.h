#pragma once

// The ledger's tables and the columns the program reads by position, on either engine.
struct LedgerTable {
    const char* name;
    int columns;
};
inline constexpr LedgerTable kLedgerTables[] = {
    {"RECEIPT", 29}, {"USER", 4},       {"USER_SET", 12},    {"table2", 7},       {"price", 3},
    {"client", 16},  {"addr_items", 1}, {"people_items", 1}, {"remark_items", 1},
};
