#include "data/LedgerLocation.h"

#include <QDir>
#include <QUrl>

#include <libpq-fe.h>

namespace LedgerLocation {

bool isServer(const QString& location) {
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

ServerAddress serverAddress(const QString& uri) {
    ServerAddress out;
    if (!isServer(uri))
        return out;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        return out;
    out.valid = true;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString value = QString::fromUtf8(o->val);
        const std::string_view key = o->keyword;
        if (key == "host" || (key == "hostaddr" && out.host.isEmpty()))
            out.host = value;
        else if (key == "port")
            out.port = value;
        else if (key == "dbname")
            out.database = value;
        else if (key == "user")
            out.user = value;
    }
    PQconninfoFree(options);
    if (out.port.isEmpty())
        out.port = QStringLiteral("5432");
    // A folder for a host is the local socket of a server on this PC.
    if (out.host.startsWith(QLatin1Char('/')))
        out.host.clear();
    if (out.database.isEmpty())
        out.database = out.user;
    return out;
}

QString describe(const QString& location) {
    if (!isServer(location))
        return QDir::toNativeSeparators(location);
    const ServerAddress a = serverAddress(location);
    if (!a.valid)
        return withoutPassword(location);
    return QStringLiteral("服务器 %1:%2 上的数据库 %3")
        .arg(a.host.isEmpty() ? QStringLiteral("本机") : a.host, a.port, a.database);
}

QString withoutPassword(const QString& uri) {
    if (!isServer(uri))
        return uri;
    const qsizetype query = uri.indexOf(QLatin1Char('?'));
    QString head = query < 0 ? uri : uri.left(query);
    QString tail = query < 0 ? QString() : uri.mid(query + 1);
    // user:password@ in the authority
    const qsizetype scheme = head.indexOf(QLatin1String("://")) + 3;
    const qsizetype at = head.indexOf(QLatin1Char('@'), scheme);
    const qsizetype slash = head.indexOf(QLatin1Char('/'), scheme);
    if (at >= 0 && (slash < 0 || at < slash)) {
        const qsizetype colon = head.indexOf(QLatin1Char(':'), scheme);
        if (colon >= 0 && colon < at)
            head.remove(colon, at - colon);
    }
    // password=... among the parameters
    QStringList kept;
    for (const QString& p : tail.split(QLatin1Char('&'), Qt::SkipEmptyParts))
        if (!p.startsWith(QLatin1String("password="), Qt::CaseInsensitive))
            kept << p;
    return kept.isEmpty() ? head : head + QLatin1Char('?') + kept.join(QLatin1Char('&'));
}

} // namespace LedgerLocation
