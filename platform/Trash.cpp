#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

namespace {

class DesktopTrash : public TrashService {
public:
    bool moveToTrash(const QString& path, QString* pathInTrash) override {
        QString where;
        if (!QFile::moveToTrash(path, &where))
            return false;
        if (pathInTrash)
            *pathInTrash = where;
        return true;
    }
    bool restoreFromTrash(const QString& pathInTrash, const QString& originalPath) override {
        if (QFile::exists(originalPath) || !QFile::rename(pathInTrash, originalPath))
            return false;
        // A freedesktop trash keeps a note of every file beside "files"; it goes with the file.
        const QFileInfo moved(pathInTrash);
        QDir trash = moved.dir();
        if (trash.dirName() == QLatin1String("files") && trash.cdUp())
            QFile::remove(
                trash.filePath(QStringLiteral("info/") + moved.fileName() + QStringLiteral(".trashinfo")));
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
