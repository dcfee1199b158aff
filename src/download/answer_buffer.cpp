#include "download/answer_buffer.h"

#include <algorithm>
#include <cstring>

namespace kestrion {

AnswerBuffer::~AnswerBuffer() = default;

qint64 AnswerBuffer::writeData(const char* data, qint64 length)
{
    if (!m_file && m_size + length > kInMemoryBytes) {
        m_file = std::make_unique<QTemporaryFile>();
        if (!m_file->open() || m_file->write(m_memory) != m_memory.size()) {
            setErrorString(m_file->errorString());
            return -1;
        }
        m_memory = QByteArray();
    }
    if (m_file) {
        if (!m_file->seek(m_size) || m_file->write(data, length) != length) {
            setErrorString(m_file->errorString());
            return -1;
        }
    } else {
        m_memory.append(data, length);
    }
    m_size += length;
    return length;
}

qint64 AnswerBuffer::readData(char* data, qint64 maxLength)
{
    const qint64 at = pos();
    const qint64 length = std::min(maxLength, m_size - at);
    if (length <= 0)
        return 0;
    if (m_file) {
        if (!m_file->seek(at))
            return -1;
        return m_file->read(data, length);
    }
    std::memcpy(data, m_memory.constData() + at, size_t(length));
    return length;
}

} // namespace kestrion
