#pragma once

// What the data, app and users tests share: the refusal an action meets, and the engine as a
// data column.

#include "data/DbError.h"
#include "tests/support/TestLedger.h"

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
