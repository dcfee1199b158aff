#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace kestrion {

// The one-instance rule: a lock file beside the settings file. The lock names
// the holder's process, so a lock left behind by a crashed or killed instance
// is recognised as stale and taken over; a live holder keeps it however long
// it runs.
class SingleInstance
{
public:
    enum class Result {
        Acquired, // this is the only instance
        AlreadyRunning, // another live instance holds the lock
        Unavailable // the lock file can't be made (no writable folder)
    };

    explicit SingleInstance(const QString& lockPath);
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock without waiting. The lock is kept until destruction.
    Result tryAcquire();
    bool isHeld() const;
    QString lockPath() const { return m_path; }

    // "<user config folder>/Kestrion/Kestrion.lock", the folder of the
    // settings file. Computed without touching the settings themselves.
    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace kestrion
