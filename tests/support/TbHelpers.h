#pragma once

// Small helpers the data, app and users tests share.

#include "data/DbError.h"
#include "tests/support/TestLedger.h"

#include <QComboBox>
#include <QTest>

#include <optional>

// The error an action is refused with; none when it runs.
template <typename Action> std::optional<DbError> refusalOf(Action&& action) {
    try {
        action();
    } catch (const DbError& e) {
        return e;
    }
    return std::nullopt;
}

// A data column "engine" with the rows "file" and "server", for a test that picks its engine
// itself rather than through the global rows.
inline void addEngineColumn() {
    QTest::addColumn<LedgerEngine>("engine");
    QTest::newRow("file") << LedgerEngine::File;
    QTest::newRow("server") << LedgerEngine::Server;
}

// The texts a combo box lists, in its order.
inline QStringList listedIn(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}
