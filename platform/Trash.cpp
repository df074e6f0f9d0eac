#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

// ".../Trash/files/x", ".../.Trash-1000/files/x" or ".../.Trash/1000/files/x".
bool isInTrash(const QString& where) {
    const QFileInfo info(where);
    if (info.isRelative())
        return false;
    QDir dir = info.dir();
    if (dir.dirName() != QLatin1String("files") || !dir.cdUp())
        return false;
    const QString name = dir.dirName();
    return name == QLatin1String("Trash") || name.startsWith(QLatin1String(".Trash")) ||
           (dir.cdUp() && dir.dirName() == QLatin1String(".Trash"));
}

// A freedesktop trash keeps a note of every file beside "files"; it goes with the file.
void removeTrashNote(const QString& where) {
    const QFileInfo moved(where);
    QDir trash = moved.dir();
    if (trash.dirName() == QLatin1String("files") && trash.cdUp())
        QFile::remove(
            trash.filePath(QStringLiteral("info/") + moved.fileName() + QStringLiteral(".trashinfo")));
}

class DesktopTrash : public TrashService {
public:
    bool moveToTrash(const QString& path, QString* pathInTrash) override {
        // The home trash can only be set up where the user's data folder exists.
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        QString where;
        if (!QFile::moveToTrash(path, &where))
            return false;
        // Where no trash can be set up, Qt 6.4 still reports success and leaves the file in a
        // folder "files" under the current directory: that is no trash, so the file goes back.
        if (!isInTrash(where)) {
            if (QFile::rename(where, path))
                removeTrashNote(where);
            return false;
        }
        if (pathInTrash)
            *pathInTrash = where;
        return true;
    }
    bool restoreFromTrash(const QString& pathInTrash, const QString& originalPath) override {
        if (QFile::exists(originalPath) || !QFile::rename(pathInTrash, originalPath))
            return false;
        removeTrashNote(pathInTrash);
        return true;
    }
};

DesktopTrash g_desktopTrash;
TrashService* g_trash = &g_desktopTrash;

} // namespace

bool moveToTrash(const QString& path, QString* pathInTrash) {
    return g_trash->moveToTrash(path, pathInTrash);
}
bool restoreFromTrash(const QString& pathInTrash, const QString& originalPath) {
    return g_trash->restoreFromTrash(pathInTrash, originalPath);
}
void setTrashService(TrashService* service) {
    g_trash = service ? service : &g_desktopTrash;
}

ScopedTrashFolder::ScopedTrashFolder(const QString& folder) : m_folder(folder), m_previous(g_trash) {
    g_trash = this;
}
ScopedTrashFolder::~ScopedTrashFolder() {
    g_trash = m_previous;
}

bool ScopedTrashFolder::moveToTrash(const QString& path, QString* pathInTrash) {
    if (m_refuses || !QFileInfo::exists(path))
        return false;
    const QString where = QDir(m_folder).filePath(QFileInfo(path).fileName());
    if (QFile::exists(where) || !QFile::rename(path, where))
        return false;
    if (pathInTrash)
        *pathInTrash = where;
    if (m_afterMove)
        m_afterMove();
    return true;
}

bool ScopedTrashFolder::restoreFromTrash(const QString& pathInTrash, const QString& originalPath) {
    return !QFile::exists(originalPath) && QFile::rename(pathInTrash, originalPath);
}

} // namespace platform
