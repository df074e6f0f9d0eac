#pragma once

// Opening the ledger for a window's action: the data layer says what is wrong, the window says it.

#include <QtGlobal>

class Database;
class QObject;

// True when db is open; otherwise the operator is told why, over owner, and false is returned.
// A newer ledger and every server case are named as such; the other file cases keep the short
// words the program has always said here (start-up names them in full).
bool OpenLedger(Database& db, QObject* owner = nullptr);

namespace ledgerchoice {

enum class OpenOutcome {
    Opened,
    Cancelled, // the operator cancelled the password prompt
    Failed,    // db.problem() and db.problemText() say why
};

// Opens db. While the server asks for a password, or refuses the one it was given ("密码不对" is
// said first), the operator is asked through the platform's password prompt; the password typed
// is kept in memory for this run only. On a cancel or a failure the password that was in use
// before is put back, so that the ledger already open keeps working.
OpenOutcome openAskingPassword(Database& db, QObject* owner);

} // namespace ledgerchoice
