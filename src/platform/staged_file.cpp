#include "platform/staged_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The umask without changing it: umask() itself can only be read by setting
// it, which would race with files other threads create meanwhile.
mode_t processUmask()
{
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
                if (line.startsWith("Umask:"))
                    return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
            }
        }
        return mode_t(022);
    }();
    return mask;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

void removeStalePartFiles(const QString& dir)
{
    const QDateTime dayAgo = QDateTime::currentDateTimeUtc().addDays(-1);
    const QFileInfoList parts = QDir(dir).entryInfoList({QStringLiteral(".kestrion-*.part")},
                                                        QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& part : parts) {
        // A link of that name is not one of ours.
        if (!part.isSymLink() && part.lastModified() < dayAgo)
            QFile::remove(part.absoluteFilePath());
    }
}

bool syncAsReplacement(int fd, const QString& path)
{
    struct stat st;
    const mode_t mode = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777
                                                                              : 0666 & ~processUmask();
    return ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
}

std::unique_ptr<StagedFile> StagedFile::write(const QString& path, QByteArrayView bytes, QString* error)
{
    const QString dir = QFileInfo(path).absolutePath();
    int fd = -1;
    QByteArray name;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        name = QFile::encodeName(dir
                                 + QStringLiteral("/.kestrion-%1.part")
                                       .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        if (error)
            *error = systemError(errno);
        return nullptr;
    }
    std::unique_ptr<StagedFile> staged(new StagedFile(name));
    const bool written = writeAll(fd, bytes) && syncAsReplacement(fd, path);
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        if (error)
            *error = systemError(written ? errno : writeError);
        return nullptr; // the destructor removes what was written
    }
    return staged;
}

StagedFile::~StagedFile()
{
    if (!m_committed)
        ::unlink(m_name.constData());
}

bool StagedFile::commit(const QString& path)
{
    if (m_committed || std::rename(m_name.constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    m_committed = true;
    return true;
}

} // namespace kestrion
