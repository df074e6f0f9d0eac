#pragma once

// The desktop's trash as a platform service, so that tests keep their files out of the user's
// own trash. The real service is QFile::moveToTrash.

#include <QString>

#include <functional>

namespace platform {

class TrashService {
public:
    virtual ~TrashService() = default;
    // Moves the file into the trash; pathInTrash receives where it went. False when there is no
    // trash or the move fails: the file is then where it was.
    virtual bool moveToTrash(const QString& path, QString* pathInTrash) = 0;
    // Puts a file back from the trash to its old place.
    virtual bool restoreFromTrash(const QString& pathInTrash, const QString& originalPath) = 0;
};

bool moveToTrash(const QString& path, QString* pathInTrash);
bool restoreFromTrash(const QString& pathInTrash, const QString& originalPath);
void setTrashService(TrashService* service);

// A trash that is a folder of the test's own. It can be made to refuse, and to run a step right
// after a move (to spoil what comes next).
class ScopedTrashFolder : public TrashService {
public:
    explicit ScopedTrashFolder(const QString& folder);
    ~ScopedTrashFolder() override;
    ScopedTrashFolder(const ScopedTrashFolder&) = delete;
    ScopedTrashFolder& operator=(const ScopedTrashFolder&) = delete;

    bool moveToTrash(const QString& path, QString* pathInTrash) override;
    bool restoreFromTrash(const QString& pathInTrash, const QString& originalPath) override;

    void setRefuses(bool refuses) { m_refuses = refuses; }
    void setAfterMove(std::function<void()> step) { m_afterMove = std::move(step); }
    QString folder() const { return m_folder; }

private:
    QString m_folder;
    bool m_refuses = false;
    std::function<void()> m_afterMove;
    TrashService* m_previous;
};

} // namespace platform
