#pragma once

#include <QTest>

// One row of a data table, its values in the columns' order: row("tag", value, ...).
template <typename... T> void row(const char* tag, const T&... values) {
    (QTest::newRow(tag) << ... << values);
}
