#pragma once

// The throwaway test server's settings, as scripts/test-postgres writes them: one "key=value" per
// line in the file RENTBOOK_TEST_PG_ENV names. Empty when there is none. Read by the tests and the
// server benchmarks alike.

#include <QFile>
#include <QHash>
#include <QString>

inline QHash<QString, QString> ReadTestServerSettings() {
    QHash<QString, QString> out;
    QFile f(qEnvironmentVariable("RENTBOOK_TEST_PG_ENV"));
    if (f.fileName().isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            out.insert(line.left(eq), line.mid(eq + 1));
    }
    return out;
}
