#include "platform/program_launcher.h"

#include <QDir>
#include <QProcess>

namespace kestrion::ProgramLauncher {

QStringList splitCommandLine(const QString& line)
{
    // POSIX shell word splitting without expansions other than a leading ~:
    // blanks separate words, '...' is literal, "..." keeps blanks and lets a
    // backslash escape " \ $ `, and a backslash outside quotes escapes the
    // next character. An unbalanced quote makes the line unusable.
    QStringList words;
    QString word;
    bool inWord = false;
    bool quotedStart = false;
    enum { Plain, Single, Double } state = Plain;
    auto finish = [&] {
        if (!inWord)
            return;
        if (!quotedStart && (word == QLatin1String("~") || word.startsWith(QLatin1String("~/"))))
            word.replace(0, 1, QDir::homePath());
        words << word;
        word.clear();
        inWord = false;
        quotedStart = false;
    };
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        switch (state) {
        case Plain:
            if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
                finish();
            } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                if (!inWord)
                    quotedStart = true;
                inWord = true;
                state = c == QLatin1Char('\'') ? Single : Double;
            } else if (c == QLatin1Char('\\')) {
                if (!inWord)
                    quotedStart = true;
                inWord = true;
                if (i + 1 < line.size())
                    word += line.at(++i);
            } else {
                inWord = true;
                word += c;
            }
            break;
        case Single:
            if (c == QLatin1Char('\''))
                state = Plain;
            else
                word += c;
            break;
        case Double:
            if (c == QLatin1Char('"')) {
                state = Plain;
            } else if (c == QLatin1Char('\\') && i + 1 < line.size()
                       && QStringLiteral("\"\\$`").contains(line.at(i + 1))) {
                word += line.at(++i);
            } else {
                word += c;
            }
            break;
        }
    }
    if (state != Plain)
        return {};
    finish();
    return words;
}

bool start(const QString& commandLine)
{
    QStringList parts = splitCommandLine(commandLine);
    if (parts.isEmpty() || parts.first().isEmpty())
        return false;
    const QString program = parts.takeFirst();
    return QProcess::startDetached(program, parts);
}

} // namespace kestrion::ProgramLauncher
