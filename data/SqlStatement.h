#pragma once

// A statement and the values it runs with. The text holds a "?" where each value goes; the values
// travel beside it to the engine (bound on the file, parameters on the server) and never become
// part of the text, so that no translation or check of the text can touch them.
//
// What a value becomes: text is stored as it stands (an empty text is empty text, not NULL);
// whole numbers as numbers; amounts go as the program's "%.2f" text, which a number column reads
// exactly as it read the same figures written into the statement; dates as date().

#include <QList>
#include <QString>

class SqlValue {
public:
    enum class Kind { Null, Integer, Text, Date };

    SqlValue() = default; // NULL
    SqlValue(int value) : m_kind(Kind::Integer), m_integer(value) {}
    SqlValue(long long value) : m_kind(Kind::Integer), m_integer(value) {}
    SqlValue(const QString& text) : m_kind(Kind::Text), m_text(text) {}
    // A flag is written as the text "1" or "0", as the ledger has always held it.
    SqlValue(bool) = delete;
    // Date text as the program writes it ("2026-12-06  9: 5: 3", "2026-12-31", "2026-3-3 0:0:0"),
    // stored in the ledger's one form "YYYY-MM-DD HH:MM:SS". Text that is no date is refused with
    // DbError when the statement runs.
    static SqlValue date(const QString& text) {
        SqlValue v(text);
        v.m_kind = Kind::Date;
        return v;
    }

    Kind kind() const { return m_kind; }
    long long integer() const { return m_integer; }
    const QString& text() const { return m_text; }

    friend bool operator==(const SqlValue& a, const SqlValue& b) {
        return a.m_kind == b.m_kind && a.m_integer == b.m_integer && a.m_text == b.m_text;
    }

private:
    Kind m_kind = Kind::Null;
    long long m_integer = 0;
    QString m_text;
};

using SqlValues = QList<SqlValue>;

class SqlStatement {
public:
    SqlStatement() = default;
    SqlStatement(const QString& text, const SqlValues& values = {}) : m_text(text), m_values(values) {}

    const QString& text() const { return m_text; }
    const SqlValues& values() const { return m_values; }
    bool isEmpty() const { return m_text.isEmpty(); }
    void clear() { *this = SqlStatement(); }

    // Statements run again and again on one connection (the records list, the prefill, the next
    // number) are prepared once and kept with it.
    SqlStatement& keepPrepared() {
        m_keep = true;
        return *this;
    }
    bool isKeptPrepared() const { return m_keep; }

    // Pieces joined with their values in order.
    SqlStatement& operator+=(const SqlStatement& piece) {
        m_text += piece.m_text;
        m_values += piece.m_values;
        return *this;
    }
    friend SqlStatement operator+(SqlStatement a, const SqlStatement& b) { return a += b; }
    friend bool operator==(const SqlStatement& a, const SqlStatement& b) {
        return a.m_text == b.m_text && a.m_values == b.m_values;
    }

private:
    QString m_text;
    SqlValues m_values;
    bool m_keep = false;
};
