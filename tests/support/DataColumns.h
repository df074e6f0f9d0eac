#pragma once

// A data table's columns declared, and a row's values fetched, in one statement each:
//     void foo_data() { columns<QString, int>("name", "count"); row("tag", QString("a"), 1); }
//     void foo() { const auto [name, count] = fetch<QString, int>("name", "count"); }
// The types and names go in the same order in both.

#include <QTest>

#include <tuple>

template <typename... T, typename... Names> void columns(const Names&... names) {
    static_assert(sizeof...(T) == sizeof...(Names), "one name for each column type");
    (QTest::addColumn<T>(names), ...);
}

template <typename... T, typename... Names> std::tuple<T...> fetch(const Names&... names) {
    static_assert(sizeof...(T) == sizeof...(Names), "one name for each column type");
    return {*static_cast<T*>(QTest::qData(names, qMetaTypeId<T>()))...};
}
