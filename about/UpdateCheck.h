#pragma once

// The online version check without its window: download the version file, read the newest
// version from its first line, compare it with ours. It runs on a worker thread and touches
// neither widgets nor message boxes.

#include <QByteArray>
#include <QString>

// 3.5.8 written as the version file writes versions.
constexpr int kRunningVersion = 358;

// The whole number at the start of the line, as a C conversion reads it: text that is no number
// gives 0.
int ParseVersionLine(const QByteArray& line);

// "RentbookUpdate.exe" on Windows, "RentbookUpdate" elsewhere; taken from the current directory
// when it is there, else found on the search path.
QString UpdaterProgram();

enum class UpdateCheckResult { NoConnection, Newest, Newer };

// Downloads url into localFile and compares. The local copy is deleted unless a newer version
// was found (the updater reads it).
UpdateCheckResult RunUpdateCheck(const QString& url, const QString& localFile);
