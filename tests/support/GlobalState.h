#pragma once

// The state a window leaves in the process: who is logged in, and the settings the program keeps
// in memory. Each test function starts as a fresh start of the program would, from init():
//     void init() { resetGlobalState(appSettings()); }

#include "data/Settings.h"

inline void logIn(const QString& user, const QString& power = QStringLiteral("1")) {
    g_strCurrentUser = user;
    g_strCurrentPower = power;
}

// "admin" logged in as an administrator, and every settings object given back to its defaults.
template <typename... Settings> void resetGlobalState(Settings&... settings) {
    logIn(QStringLiteral("admin"));
    ((settings = Settings()), ...);
}
