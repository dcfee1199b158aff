#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kestrion::sim {

// One line per request received ("GET /table.csv?..."), appended and
// flushed at once so that a test can count requests while the server runs.
// Header fields are not logged, so an "Authorization" key never is; a
// "token" query value is written as "***".
class RequestLog
{
public:
    bool open(const QString& path);
    bool isOpen() const { return m_file.isOpen(); }
    void write(const QByteArray& method, const QByteArray& target);
    QString errorString() const { return m_file.errorString(); }

private:
    QFile m_file;
};

} // namespace kestrion::sim
