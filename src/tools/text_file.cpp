#include "tools/text_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

namespace kestrion {

static void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// "\r\n" to "\n" in one pass (QString::replace takes seconds on tens of
// megabytes). True when there was any.
static bool dropCrBeforeLf(QString& text)
{
    QChar* data = text.data();
    const qsizetype size = text.size();
    qsizetype out = 0;
    for (qsizetype in = 0; in < size; ++in) {
        if (data[in] == QLatin1Char('\r') && in + 1 < size && data[in + 1] == QLatin1Char('\n'))
            continue;
        data[out++] = data[in];
    }
    const bool dropped = out != size;
    text.truncate(out);
    return dropped;
}

bool TextFileReader::open(const QString& path, QString* error)
{
    m_bytes.clear();
    m_pos = 0;
    m_encoding = TextFileContent::Encoding::Utf8;
    m_crlf = false;

    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        setError(error, QStringLiteral("The file does not exist."));
        return false;
    }
    if (info.isDir()) {
        setError(error, QStringLiteral("This is a folder, not a file."));
        return false;
    }
    if (info.size() > kMaxViewableFileSize) {
        setError(error,
                 QStringLiteral("The file is too large to show (more than %1 MB).")
                     .arg(kMaxViewableFileSize / (1024 * 1024)));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error, file.errorString());
        return false;
    }
    m_bytes = std::move(bytes);
    return true;
}

qsizetype TextFileReader::pieceEnd(qsizetype pieceBytes) const
{
    const qsizetype size = m_bytes.size();
    const qsizetype wanted = m_pos + qMax<qsizetype>(pieceBytes, 1);
    if (wanted >= size)
        return size;
    // After the next line end, if one is near: a '\n' byte is never part
    // of a longer character, and "\r\n" stays in one piece.
    const qsizetype lineEnd = m_bytes.indexOf('\n', wanted - 1);
    if (lineEnd >= 0 && lineEnd - wanted < pieceBytes)
        return lineEnd + 1;
    // Otherwise not inside a UTF-8 sequence, and not between '\r' and '\n'.
    qsizetype end = wanted;
    if (m_encoding == TextFileContent::Encoding::Utf8) {
        const auto continues = [this](qsizetype at) {
            return at < m_bytes.size() && (uchar(m_bytes.at(at)) & 0xC0) == 0x80;
        };
        while (end > m_pos + 1 && continues(end))
            --end;
        // A piece shorter than the character: take the whole character.
        if (continues(end)) {
            end = wanted;
            while (continues(end))
                ++end;
        }
    }
    if (end < m_bytes.size() && m_bytes.at(end - 1) == '\r')
        ++end;
    return end;
}

QString TextFileReader::nextPiece(qsizetype pieceBytes, bool* startedOver)
{
    if (startedOver)
        *startedOver = false;
    if (atEnd())
        return QString();

    qsizetype end = pieceEnd(pieceBytes);
    QString text;
    if (m_encoding == TextFileContent::Encoding::Utf8) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(QByteArrayView(m_bytes).sliced(m_pos, end - m_pos));
        if (utf8.hasError()) {
            const bool hadText = m_pos > 0;
            m_encoding = TextFileContent::Encoding::Latin1;
            m_pos = 0;
            m_crlf = false;
            if (startedOver)
                *startedOver = hadText;
            end = pieceEnd(pieceBytes);
            text = QString::fromLatin1(QByteArrayView(m_bytes).sliced(0, end));
        }
    } else {
        text = QString::fromLatin1(QByteArrayView(m_bytes).sliced(m_pos, end - m_pos));
    }
    m_pos = end;
    if (dropCrBeforeLf(text))
        m_crlf = true;
    if (atEnd())
        m_bytes.clear();
    return text;
}

bool readTextFile(const QString& path, TextFileContent& content, QString* error)
{
    TextFileReader reader;
    if (!reader.open(path, error))
        return false;
    QString text;
    text.reserve(reader.size());
    while (!reader.atEnd()) {
        bool startedOver = false;
        const QString piece = reader.nextPiece(4 * 1024 * 1024, &startedOver);
        if (startedOver)
            text.clear();
        text += piece;
    }
    content.text = std::move(text);
    content.encoding = reader.encoding();
    content.crlf = reader.crlf();
    return true;
}

QByteArray encodeText(const QString& text, TextFileContent::Encoding encoding, bool crlf)
{
    QString out;
    if (crlf) {
        out.reserve(text.size() + text.count(QLatin1Char('\n')));
        for (const QChar c : text) {
            if (c == QLatin1Char('\n'))
                out.append(QLatin1Char('\r'));
            out.append(c);
        }
    } else {
        out = text;
    }
    if (encoding == TextFileContent::Encoding::Latin1) {
        const bool fits = std::all_of(out.cbegin(), out.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
        if (fits)
            return out.toLatin1();
    }
    return out.toUtf8();
}

bool writeFileReplacing(const QString& path, const QByteArray& bytes, QString* error)
{
    if (path.isEmpty()) {
        setError(error, QStringLiteral("No file name was given."));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        setError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

} // namespace kestrion
