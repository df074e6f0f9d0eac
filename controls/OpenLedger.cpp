#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "data/ServerConnection.h"
#include "platform/Services.h"

bool OpenLedger(Database& db, QObject* owner) {
    if (db.open())
        return true;
    platform::messageBox(owner, db.problem() == LedgerProblem::Newer || db.isServer()
                                    ? db.problemText()
                                    : cannotOpenDatabaseText());
    return false;
}

namespace ledgerchoice {

namespace {

// The password the operator typed for the ledger in use (the data layer keeps its own copy).
QString g_typedPassword;

} // namespace

OpenOutcome openAskingPassword(Database& db, QObject* owner) {
    const QString before = g_typedPassword;
    const auto giveBack = [&before] {
        g_typedPassword = before;
        SetServerPassword(before);
    };
    // Another server's ledger is first tried with libpq's own means, not with the password typed
    // for the ledger in use.
    const QString location = db.path().isEmpty() ? DataSource::ledgerPath() : db.path();
    const bool sameLedger = location == DataSource::ledgerPath();
    if (!sameLedger)
        SetServerPassword(QString());
    bool typedHere = false;
    for (;;) {
        if (db.open()) {
            // Opened with libpq's own means: the new ledger needs no typed password.
            if (!sameLedger && !typedHere)
                g_typedPassword.clear();
            return OpenOutcome::Opened;
        }
        const LedgerProblem problem = db.problem();
        if (problem != LedgerProblem::PasswordNeeded && problem != LedgerProblem::PasswordWrong) {
            giveBack();
            return OpenOutcome::Failed;
        }
        if (problem == LedgerProblem::PasswordWrong)
            platform::messageBox(owner, QStringLiteral("密码不对"), {}, platform::MsgIcon::Exclamation);
        const std::optional<QString> typed = platform::askPassword(owner, passwordPrompt(location));
        if (!typed) {
            giveBack();
            return OpenOutcome::Cancelled;
        }
        typedHere = true;
        g_typedPassword = *typed;
        SetServerPassword(*typed);
    }
}

} // namespace ledgerchoice
