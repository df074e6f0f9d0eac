#pragma once

// Opening the ledger for a window's action: the data layer says what is wrong, the window says it.

#include "data/Database.h"
#include "platform/Services.h"

// True when db is open; otherwise the operator is told why, over owner, and false is returned.
// A newer ledger and every server case are named as such; the other file cases keep the short
// words the program has always said here (start-up names them in full).
inline bool OpenLedger(Database& db, QObject* owner = nullptr) {
    if (db.open())
        return true;
    platform::messageBox(owner, db.problem() == LedgerProblem::Newer || db.isServer()
                                    ? db.problemText()
                                    : cannotOpenDatabaseText());
    return false;
}
