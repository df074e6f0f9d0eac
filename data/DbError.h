#pragma once

#include <QString>

#include <stdexcept>

// A statement the engine refused. Handlers let it pass; the application reports it at the
// event loop. The operator reads what happened and what to do in Chinese, with the engine's own
// text kept as a detail line.
class DbError : public std::runtime_error {
public:
    // engineCode is the engine's result code (0 when the refusal did not come from the engine).
    explicit DbError(const QString& engineText, int engineCode = 0);
    // The text shown to the operator.
    QString message() const { return m_message; }
    QString engineText() const { return m_engineText; }
    int engineCode() const { return m_engineCode; }

private:
    QString m_engineText;
    int m_engineCode;
    QString m_message;
};

// A refusal from a server ledger carries a SQLite-style code or'ed with this flag, so that the
// words can speak of a server rather than a file.
inline constexpr int kServerEngineFlag = 0x20000000;
// The connection to the server was lost before or during the statement.
inline constexpr int kServerConnectionLost = kServerEngineFlag | 0x1000000;
// The clerk stopped waiting for the server's answer; the statement was given up, nothing was changed.
inline constexpr int kServerWaitCancelled = kServerEngineFlag | 0x2000000;
// The answer to a commit was lost, and what became of the commit could not be found out.
inline constexpr int kServerCommitUnknown = kServerEngineFlag | 0x4000000;

// What an engine refusal means to the operator: a Chinese sentence saying what happened and what
// to do, then "详细信息：" and the engine's text.
QString ExplainEngineError(int engineCode, const QString& engineText);
