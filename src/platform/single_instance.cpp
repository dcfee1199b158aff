#include "platform/single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace kestrion {

SingleInstance::SingleInstance(const QString& lockPath)
    : m_path(lockPath)
    , m_lock(std::make_unique<QLockFile>(lockPath))
{
    // Staleness is decided by the holder's process id alone, never by the
    // lock's age: QLockFile's default counts any lock older than 30 seconds as
    // stale, leaving only the file-system lock (not on every file system) to
    // protect an instance that has simply been running for a while.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Result SingleInstance::tryAcquire()
{
    if (m_lock->isLocked())
        return Result::Acquired;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        return Result::Unavailable;
    if (m_lock->tryLock(0))
        return Result::Acquired;
    return m_lock->error() == QLockFile::LockFailedError ? Result::AlreadyRunning : Result::Unavailable;
}

bool SingleInstance::isHeld() const
{
    return m_lock->isLocked();
}

QString SingleInstance::defaultLockPath()
{
    // QSettings keeps the user's INI files in this same folder on Unix.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Kestrion/Kestrion.lock");
}

} // namespace kestrion
