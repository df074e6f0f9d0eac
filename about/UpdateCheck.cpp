#include "about/UpdateCheck.h"

#include "platform/Download.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

int ParseVersionLine(const QByteArray& line) {
    const QByteArray text = line.left(64); // a version has a few digits; the rest cannot matter
    const long n = std::strtol(text.constData(), nullptr, 10);
    return n > 0 && n < 1000000000 ? int(n) : 0;
}

QString UpdaterProgram() {
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("RentbookUpdate.exe");
#else
    const QString name = QStringLiteral("RentbookUpdate");
#endif
    const QString here = QDir::current().filePath(name);
    return QFile::exists(here) ? here : name;
}

UpdateCheckResult RunUpdateCheck(const QString& url, const QString& localFile) {
    if (!platform::downloadToFile(url, localFile))
        return UpdateCheckResult::NoConnection;
    QFile file(localFile);
    // A copy that cannot be read tells nothing newer.
    const int newest = file.open(QIODevice::ReadOnly) ? ParseVersionLine(file.readLine()) : 0;
    file.close();
    if (newest > kRunningVersion)
        return UpdateCheckResult::Newer;
    QFile::remove(localFile);
    return UpdateCheckResult::Newest;
}
