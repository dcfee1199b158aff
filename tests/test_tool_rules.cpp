#include "platform/browser_sandbox.h"
#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "testsupport.h"
#include "tools/text_file.h"
#include "tools/window_rules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <optional>

#include <sys/resource.h>

using namespace kestrion;

Q_DECLARE_METATYPE(std::optional<int>)

class TestToolRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void browserSizes_data();
    void browserSizes();
    void browserSandbox_data();
    void browserSandbox();
    void viewerTextHeight_data();
    void viewerTextHeight();
    void readKeepsEveryByte_data();
    void readKeepsEveryByte();
    void readerPiecesJoinUp_data();
    void readerPiecesJoinUp();
    void readFailures_data();
    void readFailures();
    void failedWriteLeavesOldFile_data();
    void failedWriteLeavesOldFile();
    void configuredProgram_data();
    void configuredProgram();
    void pathSearch_data();
    void pathSearch();
};

static std::optional<int> none()
{
    return std::nullopt;
}

void TestToolRules::browserSizes_data()
{
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("clientHeight");
    QTest::addColumn<std::optional<int>>("width");
    QTest::addColumn<std::optional<int>>("height");

    // 489 px = 7335 twips: 7335 - 125 = 7210 twips = 480.7 px; 7335 - 1825 = 5510 twips = 367.3 px.
    QTest::newRow("design size") << 489 << 489 << std::optional<int>(481) << std::optional<int>(367);
    QTest::newRow("wide and tall") << 1000 << 800 << std::optional<int>(992) << std::optional<int>(678);
    // 9 px = 135 twips leaves 10 twips (1 px); 122 px = 1830 twips leaves 5 twips (0 px).
    QTest::newRow("just past the margins") << 9 << 122 << std::optional<int>(1) << std::optional<int>(0);
    QTest::newRow("too narrow and too low") << 8 << 121 << none() << none();
    QTest::newRow("only too low") << 300 << 100 << std::optional<int>(292) << none();
    QTest::newRow("nothing") << 0 << 0 << none() << none();
}

void TestToolRules::browserSizes()
{
    QFETCH(int, clientWidth);
    QFETCH(int, clientHeight);
    QFETCH(std::optional<int>, width);
    QFETCH(std::optional<int>, height);
    const BrowserSizes sizes = kestrion::browserSizes(clientWidth, clientHeight);
    QCOMPARE(sizes.addressWidth, width);
    QCOMPARE(sizes.browserWidth, width);
    QCOMPARE(sizes.browserHeight, height);
}

void TestToolRules::viewerTextHeight_data()
{
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<int>("clientHeight");
    QTest::addColumn<int>("textHeight");

    // 411 px = 6165 twips: 6165 - 575 = 5590 twips = 372.7 px.
    QTest::newRow("design size") << 440 << 411 << 373;
    QTest::newRow("outer height below 350 twips") << 23 << 20 << 20;
    QTest::newRow("outer height exactly 350 twips or more") << 24 << 20 << 0;
    QTest::newRow("client too low for the margin") << 60 << 30 << 0;
    QTest::newRow("client just over the margin") << 80 << 39 << 1;
}

void TestToolRules::viewerTextHeight()
{
    QFETCH(int, outerHeight);
    QFETCH(int, clientHeight);
    QFETCH(int, textHeight);
    QCOMPARE(kestrion::viewerTextHeight(outerHeight, clientHeight), textHeight);
}

void TestToolRules::readKeepsEveryByte_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("latin1");
    QTest::addColumn<bool>("crlf");

    QTest::newRow("error log, crlf") << QByteArray("Errors\r\nMSFT\r\nIBM\r\n") << "Errors\nMSFT\nIBM\n" << false
                                     << true;
    QTest::newRow("data file, lf") << QByteArray("Date,Close\n2003-09-25,25.20") << "Date,Close\n2003-09-25,25.20"
                                   << false << false;
    QTest::newRow("utf-8 text") << QByteArray("caf\xc3\xa9 \xe2\x82\xac\n") << QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac\n")
                                << false << false;
    QTest::newRow("latin-1 bytes") << QByteArray("caf\xe9\xa0x\r\n") << QString::fromLatin1("caf\xe9\xa0x\n") << true
                                   << true;
    QTest::newRow("rich text markup stays text") << QByteArray("{\\rtf1\\ansi <b>x</b>}") << "{\\rtf1\\ansi <b>x</b>}"
                                                 << false << false;
    QTest::newRow("empty") << QByteArray() << "" << false << false;
}

void TestToolRules::readKeepsEveryByte()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, latin1);
    QFETCH(bool, crlf);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.txt"));
    QVERIFY(writeFileReplacing(path, bytes));

    TextFileContent content;
    QVERIFY(readTextFile(path, content));
    QCOMPARE(content.text, text);
    QCOMPARE(content.encoding == TextFileContent::Encoding::Latin1, latin1);
    QCOMPARE(content.crlf, crlf);
    // Written back unchanged, the file is byte for byte what it was.
    QCOMPARE(encodeText(content.text, content.encoding, content.crlf), bytes);
}

void TestToolRules::readerPiecesJoinUp_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pieceBytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("latin1");
    QTest::addColumn<bool>("crlf");

    QTest::newRow("crlf at every boundary") << QByteArray("ab\r\ncd\r\nef\r\n") << 3 << "ab\ncd\nef\n" << false << true;
    QTest::newRow("cr then lf across a cut") << QByteArray("abcd\r\nefgh") << 5 << "abcd\nefgh" << false << true;
    QTest::newRow("two-byte characters, no line ends")
        << QByteArray("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9") << 3
        << QString::fromUtf8("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9") << false << false;
    QTest::newRow("three-byte characters, no line ends")
        << QByteArray("x\xe2\x82\xacy\xe2\x82\xacz") << 2 << QString::fromUtf8("x\xe2\x82\xacy\xe2\x82\xacz") << false
        << false;
    QTest::newRow("bad byte near the end starts over as latin-1")
        << QByteArray("line one\nline two\nline three\n\xe9\n") << 4
        << QString::fromLatin1("line one\nline two\nline three\n\xe9\n") << true << false;
    QTest::newRow("cut utf-8 sequence at the end is latin-1")
        << QByteArray("abc\xe2\x82") << 2 << QString::fromLatin1("abc\xe2\x82") << true << false;
    QTest::newRow("lone cr kept") << QByteArray("a\rb\rc") << 2 << "a\rb\rc" << false << false;
}

void TestToolRules::readerPiecesJoinUp()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, pieceBytes);
    QFETCH(QString, text);
    QFETCH(bool, latin1);
    QFETCH(bool, crlf);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pieces.txt"));
    QVERIFY(writeFileReplacing(path, bytes));

    TextFileReader reader;
    QVERIFY(reader.open(path));
    QString joined;
    int pieces = 0;
    while (!reader.atEnd()) {
        bool startedOver = false;
        const QString piece = reader.nextPiece(pieceBytes, &startedOver);
        if (startedOver)
            joined.clear();
        joined += piece;
        QVERIFY(++pieces < 100);
    }
    QVERIFY(pieces > 1);
    QCOMPARE(joined, text);
    QCOMPARE(reader.encoding() == TextFileContent::Encoding::Latin1, latin1);
    QCOMPARE(reader.crlf(), crlf);
    QCOMPARE(encodeText(joined, reader.encoding(), reader.crlf()), bytes);
}

void TestToolRules::readFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing.txt";
    QTest::newRow("folder") << "sub";
    QTest::newRow("empty name") << "";
}

void TestToolRules::readFailures()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    TextFileContent content;
    content.text = QStringLiteral("before");
    QString error;
    QVERIFY(!readTextFile(name.isEmpty() ? QString() : dir.filePath(name), content, &error));
    QVERIFY(!error.isEmpty());
}

void TestToolRules::failedWriteLeavesOldFile_data()
{
    QTest::addColumn<QString>("failure");
    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("write cut short") << "size limit";
}

void TestToolRules::failedWriteLeavesOldFile()
{
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.txt"));
    QVERIFY(writeFileReplacing(path, "old contents\n"));
    QVERIFY(writeFileReplacing(path, "new\n"));
    QCOMPARE(test::readAll(path), QByteArray("new\n"));

    QString target = path;
    if (failure == QLatin1String("folder")) {
        target = dir.filePath(QStringLiteral("sub"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    } else if (failure == QLatin1String("missing")) {
        target = dir.filePath(QStringLiteral("no/such/folder/keep.txt"));
    }

    // The size limit makes the write fail part way, as a full disk would.
    const QByteArray big(64 * 1024, 'x');
    rlimit previous{};
    if (failure == QLatin1String("size limit")) {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    QString error;
    const bool written = writeFileReplacing(target, big, &error);
    if (failure == QLatin1String("size limit"))
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);

    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(test::readAll(path), QByteArray("new\n"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
}

void TestToolRules::configuredProgram_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");

    QTest::newRow("not set") << QString() << false << "";
    QTest::newRow("blank") << "   " << false << "";
    QTest::newRow("path with blanks, unchecked") << "/opt/No Such/sysinfo" << true << "/opt/No Such/sysinfo";
}

void TestToolRules::configuredProgram()
{
    QFETCH(QString, stored);
    QFETCH(bool, found);
    QFETCH(QString, value);
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("k.ini")));
    if (!stored.isNull())
        store.save(SystemInfo::kSection, SystemInfo::kProgramKey, stored);
    QString read = QStringLiteral("left over");
    QCOMPARE(SystemInfo::GetKeyValue(store, SystemInfo::kSection, SystemInfo::kProgramKey, read), found);
    QCOMPARE(read, value);
}

// Makes the named programs in the folder (executable unless the name ends
// in "!", which makes a plain file).
static void makePrograms(const QString& folder, const QStringList& names)
{
    QDir().mkpath(folder);
    for (QString name : names) {
        const bool executable = !name.endsWith(QLatin1Char('!'));
        name.remove(QLatin1Char('!'));
        QFile f(folder + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        if (executable)
            QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
    }
}

void TestToolRules::pathSearch_data()
{
    QTest::addColumn<QStringList>("folderA");
    QTest::addColumn<QStringList>("folderB");
    QTest::addColumn<QString>("pathTemplate");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing installed") << QStringList{} << QStringList{} << "{A}:{B}" << "";
    QTest::newRow("one installed") << QStringList{} << QStringList{"kinfocenter"} << "{A}:{B}" << "B/kinfocenter";
    QTest::newRow("preferred program wins over path order")
        << QStringList{"gnome-system-monitor"} << QStringList{"hardinfo"} << "{A}:{B}" << "B/hardinfo";
    QTest::newRow("same program: first folder wins")
        << QStringList{"hardinfo"} << QStringList{"hardinfo"} << "{A}:{B}" << "A/hardinfo";
    QTest::newRow("not executable is skipped")
        << QStringList{"hardinfo!"} << QStringList{"xfce4-taskmanager"} << "{A}:{B}" << "B/xfce4-taskmanager";
    QTest::newRow("empty and relative entries are skipped")
        << QStringList{} << QStringList{"lshw-gtk"} << "::relative:{B}:" << "B/lshw-gtk";
    QTest::newRow("empty path") << QStringList{"hardinfo"} << QStringList{} << "" << "";
}

void TestToolRules::pathSearch()
{
    QFETCH(QStringList, folderA);
    QFETCH(QStringList, folderB);
    QFETCH(QString, pathTemplate);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("A"));
    const QString b = dir.filePath(QStringLiteral("B"));
    makePrograms(a, folderA);
    makePrograms(b, folderB);
    QString path = pathTemplate;
    path.replace(QStringLiteral("{A}"), a).replace(QStringLiteral("{B}"), b);
    // A relative entry naming a folder that holds a candidate is ignored.
    const QString previousCurrent = QDir::currentPath();
    QDir::setCurrent(dir.path());
    makePrograms(dir.filePath(QStringLiteral("relative")), {QStringLiteral("hardinfo")});

    const QString found = SystemInfo::findOnPath(path);
    QDir::setCurrent(previousCurrent);
    QCOMPARE(found, expected.isEmpty() ? QString() : dir.filePath(expected));
}

void TestToolRules::browserSandbox_data()
{
    QTest::addColumn<bool>("root");
    QTest::addColumn<QByteArray>("value"); // QTWEBENGINE_DISABLE_SANDBOX as started
    QTest::addColumn<bool>("switchOff");
    QTest::newRow("root, nothing set") << true << QByteArray() << true;
    QTest::newRow("root, set to 0") << true << QByteArray("0") << true;
    QTest::newRow("root, set to blanks") << true << QByteArray("  ") << true;
    QTest::newRow("root, already off") << true << QByteArray("1") << false;
    QTest::newRow("root, off by any other value") << true << QByteArray("yes") << false;
    QTest::newRow("a user, nothing set") << false << QByteArray() << false;
    QTest::newRow("a user, set to 0") << false << QByteArray("0") << false;
}

void TestToolRules::browserSandbox()
{
    QFETCH(bool, root);
    QFETCH(QByteArray, value);
    QFETCH(bool, switchOff);
    QCOMPARE(sandboxMustBeSwitchedOff(root, value), switchOff);
}

QTEST_GUILESS_MAIN(TestToolRules)
#include "test_tool_rules.moc"
