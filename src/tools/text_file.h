#pragma once

#include <QByteArray>
#include <QString>

namespace kestrion {

// A text file as the viewer shows it: the text with "\n" line ends, plus
// what it takes to write the file back the way it was stored.
struct TextFileContent
{
    enum class Encoding { Utf8, Latin1 };

    QString text; // "\n" line ends only
    Encoding encoding = Encoding::Utf8; // Latin-1 when the bytes are not valid UTF-8
    bool crlf = false; // the file used "\r\n" line ends
};

// Files larger than this are not loaded into the viewer.
inline constexpr qint64 kMaxViewableFileSize = qint64(512) * 1024 * 1024;

// Reads a text file piece by piece, so that a caller can show a large file
// while it is still being decoded. Bytes that are not valid UTF-8 are taken
// as Latin-1, so that every byte survives a later save unchanged; the
// reader finds that out only on the piece holding the first bad byte and
// then starts over from the beginning (see nextPiece()).
class TextFileReader
{
public:
    // Reads the file's bytes. False with a readable reason when it cannot.
    bool open(const QString& path, QString* error = nullptr);

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    // The next piece of text, about pieceBytes long and ending after a line
    // end where there is one nearby; "\r\n" comes out as "\n". When
    // startedOver is set, the file turned out not to be UTF-8: everything
    // returned before is void and this piece is the file's beginning.
    QString nextPiece(qsizetype pieceBytes, bool* startedOver = nullptr);

    TextFileContent::Encoding encoding() const { return m_encoding; }
    // True once a "\r\n" was seen in what was read so far.
    bool crlf() const { return m_crlf; }
    qsizetype position() const { return m_pos; }
    qsizetype size() const { return m_bytes.size(); }

private:
    qsizetype pieceEnd(qsizetype pieceBytes) const;

    QByteArray m_bytes;
    qsizetype m_pos = 0;
    TextFileContent::Encoding m_encoding = TextFileContent::Encoding::Utf8;
    bool m_crlf = false;
};

// Reads the whole file. False with a readable reason when it cannot.
bool readTextFile(const QString& path, TextFileContent& content, QString* error = nullptr);

// Encodes text ("\n" line ends) for writing: "\r\n" ends when crlf is set,
// Latin-1 when asked for and every character fits, UTF-8 otherwise.
QByteArray encodeText(const QString& text, TextFileContent::Encoding encoding, bool crlf);

// Replaces the file with the bytes as one step: a failure leaves any old
// file as it was. False with a readable reason when it cannot.
bool writeFileReplacing(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace kestrion
