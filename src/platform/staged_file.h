#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

namespace kestrion {

// A file's next contents, written in full beside it and on disk before it
// takes the file's name, so no half-written file ever stands under that
// name. Safe to make and drop on any thread; commit() on one at a time.
// Dropped without commit(), it leaves nothing behind.
class StagedFile
{
public:
    // Writes bytes to a new hidden file in path's folder and syncs it;
    // nullptr with error set when that fails (a full disk, no rights).
    static std::unique_ptr<StagedFile> write(const QString& path, QByteArrayView bytes, QString* error);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Renames it over path in one step.
    bool commit(const QString& path);

private:
    explicit StagedFile(QByteArray name)
        : m_name(std::move(name))
    {
    }
    QByteArray m_name; // encoded, for the system calls
    bool m_committed = false;
};

// Removes the hidden ".kestrion-*.part" files in dir last changed more than a
// day ago: left by a run that was killed outright, as no run lasts that long
// with a file it is still writing.
void removeStalePartFiles(const QString& dir);

// Readies the open file fd to take path's place: gives it path's own mode
// when path exists, so replacing a file keeps who may read it, otherwise
// what the process's umask leaves of rw-rw-rw-; then puts its data on disk.
bool syncAsReplacement(int fd, const QString& path);

} // namespace kestrion
