#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QTemporaryFile>

#include <memory>

namespace kestrion {

// Where an answer waits to be judged: in memory while it is small, as every
// price answer is, and in a temporary file once it grows past that, so
// memory stays flat whatever a service sends. Written once from the start,
// then read back after seek(0).
class AnswerBuffer : public QIODevice
{
public:
    static constexpr qint64 kInMemoryBytes = 4 * 1024 * 1024;

    AnswerBuffer() = default;
    ~AnswerBuffer() override;

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }

protected:
    qint64 writeData(const char* data, qint64 length) override;
    qint64 readData(char* data, qint64 maxLength) override;

private:
    QByteArray m_memory;
    std::unique_ptr<QTemporaryFile> m_file;
    qint64 m_size = 0;
};

} // namespace kestrion
