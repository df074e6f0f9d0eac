#pragma once

// Which ledger the program uses, and how the choice is kept: the ledger named with --ledger or
// chosen in the login window is remembered per user in the program's settings file (QSettings,
// organisation and application "Rentbook", key "ledger/location"), without any password written
// in its address. Nothing remembered means the program folder's Rentbook.rbk.
// (Opening the chosen ledger, asking for its password: controls/OpenLedger.h.)

#include <QString>

namespace ledgerchoice {

// The key the location is kept under in the settings file.
inline constexpr const char kSettingsKey[] = "ledger/location";

// The ledger remembered for this user; empty when none is (the local ledger then).
QString remembered();

// Keeps location for the next starts, without a password written in it. The local ledger (or an
// empty location) forgets the choice, so that the program folder's ledger is used. False when the
// settings file could not be written.
bool remember(const QString& location);
// The settings file the choice is kept in, for telling the operator which one failed.
QString settingsFileName();

// The program folder's ledger, "Rentbook.rbk" there; start-up sets it.
QString localLedger();
void setLocalLedger(const QString& path);

// True for "local", for an empty text and for the local ledger's own path.
bool isLocal(const QString& location);

// What the value of --ledger names: the local ledger for "local" or an empty value, a file by its
// absolute path (a relative one taken from baseDir, the folder the program was started in), a
// server address as written.
QString resolve(const QString& value, const QString& baseDir = QString());

// "请输入账本服务器 host 上用户 user 的密码：", the host and user taken from the address.
QString passwordPrompt(const QString& uri);

} // namespace ledgerchoice
