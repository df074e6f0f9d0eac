#include "data/DbError.h"
#include "data/ServerConnection.h"
#include "data/ServerRoundTrip.h"
#include "platform/NetworkWait.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstring>

// The commit, and the check of a commit whose answer was lost.

void ServerConnection::commit(bool* restarted) {
    if (restarted)
        *restarted = false;
    if (!m_transaction)
        throw DbError(QStringLiteral("no transaction to commit"), kServerEngineFlag | SQLITE_MISUSE);
    // Whatever happens now, the transaction is over.
    m_transaction = false;
    if (m_busy)
        throw DbError(QStringLiteral("the connection is waiting for the answer to another statement"),
                      kServerEngineFlag | SQLITE_BUSY);
    // Lost before the commit went out: the server never commits it.
    if (lost())
        throw lostError();
    // A server answers "commit" in a failed transaction with a rollback, and no error.
    if (PQtransactionStatus(m_conn) == PQTRANS_INERROR) {
        execQuietly("rollback");
        throw DbError(QStringLiteral("the transaction failed earlier and was rolled back"),
                      kServerEngineFlag | SQLITE_ABORT);
    }
    m_lostText.clear();
    m_lostCancelled = false;
    bool sent = false;
    // The session is still the transaction's while the commit's answer is awaited.
    m_transaction = true;
    PGresult* r = run("commit", &sent);
    m_transaction = false;
    // A server's farewell (shutting down, crashed) in place of the answer ends the connection too:
    // the answer is lost then as well.
    if (r && !lost()) {
        const ExecStatusType status = PQresultStatus(r);
        const bool committed = status == PGRES_COMMAND_OK && std::strcmp(PQcmdStatus(r), "COMMIT") == 0;
        const QByteArray sqlstate = QByteArray(PQresultErrorField(r, PG_DIAG_SQLSTATE));
        const QString text = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        PQclear(r);
        if (committed)
            return;
        if (status == PGRES_COMMAND_OK)
            throw DbError(QStringLiteral("the transaction was rolled back"),
                          kServerEngineFlag | SQLITE_ABORT);
        throw DbError(text, ServerErrorCode(sqlstate.isEmpty() ? nullptr : sqlstate.constData(), false));
    }
    PQclear(r);
    if (!sent || m_xid.isEmpty())
        throw lostError();
    // The commit went out and its answer did not come back: the server may have committed.
    const DbError lostHere = lostError();
    bool restartedHere = false;
    switch (checkLostCommit(restartedHere)) {
    case CommitCheck::Committed:
        if (restarted)
            *restarted = restartedHere;
        return;
    case CommitCheck::NotCommitted:
        throw lostHere;
    case CommitCheck::Unknown:
        break;
    }
    throw DbError(lostHere.engineText(), kServerCommitUnknown);
}

// Asks the server, on new connections, what became of the transaction whose commit lost its answer,
// until it is known or the time is up. A transaction still in progress belongs to a session the
// server has not yet found dead: it is ended, and the question asked again.
ServerConnection::CommitCheck ServerConnection::checkLostCommit(bool& restarted) {
    const int pid = PQbackendPID(m_conn);
    const QByteArray xid32 = QByteArray::number(m_xid.toULongLong() & 0xffffffffULL);
    platform::NetworkWait wait(
        QStringLiteral("提交时与账本服务器的连接中断了。正在重新连接，查明刚才的操作是否已经完成……"));
    const QDeadlineTimer deadline(kServerCommitCheckMs);
    while (!wait.cancelled() && !deadline.hasExpired()) {
        LedgerProblem problem = LedgerProblem::None;
        QString detail;
        pg_conn* conn = ConnectWaiting(m_uri, problem, detail, wait, deadline);
        if (!conn) {
            // Not reachable yet: a second between attempts.
            QDeadlineTimer pause(1000);
            if (deadline.deadlineNSecs() < pause.deadlineNSecs())
                pause = deadline;
            wait.wait(-1, false, pause);
            continue;
        }
        const QByteArray ask = "select txid_status(" + m_xid + "), pg_postmaster_start_time()::text";
        for (;;) {
            bool gaveUp = false;
            pg_result* r = RunWaiting(conn, ask.constData(), wait, -1, deadline, gaveUp);
            // Lost again, or the server's farewell (it is going down once more): try again.
            if (!r || PQstatus(conn) != CONNECTION_OK ||
                ServerErrorCode(PQresultErrorField(r, PG_DIAG_SQLSTATE), false) == kServerConnectionLost) {
                PQclear(r);
                break;
            }
            if (PQresultStatus(r) != PGRES_TUPLES_OK) {
                // A number the server has not reached: a restart lost the transaction and all after it.
                const bool future = qstrcmp(PQresultErrorField(r, PG_DIAG_SQLSTATE), "22023") == 0;
                PQclear(r);
                PQfinish(conn);
                return future ? CommitCheck::NotCommitted : CommitCheck::Unknown;
            }
            const QByteArray status = PQgetvalue(r, 0, 0);
            const bool sameServer = m_serverStart == PQgetvalue(r, 0, 1);
            const bool known = !PQgetisnull(r, 0, 0);
            PQclear(r);
            if (status == "committed" || status == "aborted" || !known) {
                // The new connection serves on in place of the lost one.
                PQfinish(m_conn);
                m_conn = conn;
                // A new session knows none of the old one's prepared statements.
                m_prepared.clear();
                m_lost = false;
                m_orphanPid = 0;
                m_orphanXid.clear();
                prepareSession();
                restarted = !sameServer;
                return !known                  ? CommitCheck::Unknown
                       : status == "committed" ? CommitCheck::Committed
                                               : CommitCheck::NotCommitted;
            }
            // In progress: the old session lives on, waiting for the rest of a commit that never
            // reaches it, or holding a commit it has not finished. Ended, it finishes or rolls back.
            const QByteArray end = "select pg_terminate_backend(pid) from pg_stat_activity where pid = " +
                                   QByteArray::number(pid) + " and backend_xid::text = '" + xid32 + "'";
            PQclear(RunWaiting(conn, end.constData(), wait, -1, deadline, gaveUp));
            QDeadlineTimer pause(100);
            wait.wait(-1, false, pause);
            if (wait.cancelled() || deadline.hasExpired())
                break;
        }
        PQfinish(conn);
    }
    return CommitCheck::Unknown;
}
