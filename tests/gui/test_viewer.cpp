#include "core/app_state.h"
#include "formats/error_log.h"
#include "gui_support.h"
#include "testsupport.h"
#include "tools/ui/frmView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <memory>

using namespace kestrion;
using test::MessageWatcher;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Counts the pages of a PDF written by Qt.
int pdfPages(const QString& path)
{
    const QString pdf = QString::fromLatin1(test::readAll(path));
    return int(pdf.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
}

void select(QPlainTextEdit* edit, int from, int to)
{
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
}

QByteArray lines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "MSFT," + QByteArray::number(20030101 + i) + ",25.10,25.50,24.90,25.20,1234567\n";
    return text;
}

} // namespace

class TestViewer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void loadsViewFileAtOpen_data();
    void loadsViewFileAtOpen();
    void toolbarAndMenuRunTheOperations_data();
    void toolbarAndMenuRunTheOperations();
    void openReplacesTextAndTitle();
    void openFailureKeepsTextAndTellsWhy_data();
    void openFailureKeepsTextAndTellsWhy();
    void saveAsWritesWholeTextReplacing_data();
    void saveAsWritesWholeTextReplacing();
    void saveAsFailureKeepsOldFileAndTellsWhy_data();
    void saveAsFailureKeepsOldFileAndTellsWhy();
    void editAndClipboard_data();
    void editAndClipboard();
    void printsSelectionOrAll_data();
    void printsSelectionOrAll();
    void resizeRule_data();
    void resizeRule();
    void entryFunctionsShowModally_data();
    void entryFunctionsShowModally();
    void largeFileOpensWithoutFreezing();

private:
    QTemporaryDir m_dir;
};

void TestViewer::init()
{
    resetAppState();
    QGuiApplication::clipboard()->clear();
}

void TestViewer::loadsViewFileAtOpen_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("text");

    QTest::newRow("error log") << QByteArray("Errors\r\nMSFT\r\n") << true << "Errors\nMSFT\n";
    QTest::newRow("rich text markup shown as text")
        << QByteArray("{\\rtf1\\ansi {\\b bold}}<html><b>x</b></html>") << true
        << "{\\rtf1\\ansi {\\b bold}}<html><b>x</b></html>";
    QTest::newRow("missing file, no message") << QByteArray() << false << "";
}

void TestViewer::loadsViewFileAtOpen()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, exists);
    QFETCH(QString, text);
    const QString path = m_dir.filePath(QStringLiteral("at-open.txt"));
    QFile::remove(path);
    if (exists)
        writeFile(path, contents);
    appState().strViewFile = path;

    MessageWatcher messages(MessageWatcher::Find::TopLevel, 10);
    frmView viewer(path);
    viewer.show();
    QTest::qWait(50);
    QCOMPARE(viewer.windowTitle(), QStringLiteral("View/Edit File"));
    QCOMPARE(viewer.rtbUserArea->toPlainText(), text);
    QCOMPARE(viewer.text(), text);
    QVERIFY(messages.texts.isEmpty());
    QVERIFY(!viewer.rtbUserArea->isReadOnly());
    QCOMPARE(appState().strViewFile, path);
}

void TestViewer::toolbarAndMenuRunTheOperations_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("menuItem");
    QTest::addColumn<QString>("expected");

    // What each command leaves behind, on the text "abcdef" with "cd" selected.
    QTest::newRow("Open") << "Open" << "Open" << "mnuOpen" << "open chooser";
    QTest::newRow("SaveAs") << "SaveAs" << "Save" << "mnuSaveAs" << "save chooser";
    QTest::newRow("Print") << "Print" << "Print" << "mnuPrint" << "printer chooser";
    QTest::newRow("Cut") << "Cut" << "Cut" << "mnuCut" << "abef|cd";
    QTest::newRow("Copy") << "Copy" << "Copy" << "mnuCopy" << "abcdef|cd";
    QTest::newRow("Paste") << "Paste" << "Paste" << "mnuPaste" << "abXYef|XY";
    QTest::newRow("Delete (menu only)") << "" << "" << "mnuDelete" << "abef|XY";
    QTest::newRow("unknown key does nothing") << "Bogus" << "" << "" << "abcdef|XY";
}

void TestViewer::toolbarAndMenuRunTheOperations()
{
    QFETCH(QString, key);
    QFETCH(QString, toolTip);
    QFETCH(QString, menuItem);
    QFETCH(QString, expected);

    for (const bool viaMenu : {false, true}) {
        if (viaMenu && menuItem.isEmpty())
            continue;
        if (!viaMenu && key.isEmpty())
            continue;
        appState().strViewFile.clear();
        frmView viewer{QString()};
        viewer.show();
        viewer.rtbUserArea->setPlainText(QStringLiteral("abcdef"));
        select(viewer.rtbUserArea, 2, 4);
        QGuiApplication::clipboard()->setText(QStringLiteral("XY"));

        QString called;
        viewer.setOpenFileChooser([&](QWidget*, const QString&) {
            called = QStringLiteral("open chooser");
            return QString();
        });
        viewer.setSaveFileChooser([&](QWidget*, const QString&) {
            called = QStringLiteral("save chooser");
            return QString();
        });
        viewer.setPrinterChooser([&](QWidget*, QPrinter&, bool) {
            called = QStringLiteral("printer chooser");
            return false;
        });

        if (viaMenu) {
            auto* action = viewer.findChild<QAction*>(menuItem);
            QVERIFY2(action, qPrintable(menuItem));
            action->trigger();
        } else {
            QAction* button = nullptr;
            for (QAction* a : viewer.tbToolBar->actions())
                if (a->data().toString() == key)
                    button = a;
            if (toolTip.isEmpty()) {
                QVERIFY(!button);
                viewer.buttonClick(key);
            } else {
                QVERIFY2(button, qPrintable(key));
                QCOMPARE(button->toolTip(), toolTip);
                button->trigger();
            }
        }

        const QString state = called.isEmpty()
            ? viewer.text() + QLatin1Char('|') + QGuiApplication::clipboard()->text()
            : called;
        QCOMPARE(state, expected);
    }
}

void TestViewer::openReplacesTextAndTitle()
{
    const QString first = m_dir.filePath(QStringLiteral("first.txt"));
    const QString second = m_dir.filePath(QStringLiteral("second.txt"));
    writeFile(first, "first file\n");
    writeFile(second, "second <b>file</b>\n");
    appState().strViewFile = first;

    frmView viewer(first);
    viewer.show();
    QCOMPARE(viewer.text(), QStringLiteral("first file\n"));

    QString offered;
    QString answer = second;
    viewer.setOpenFileChooser([&](QWidget*, const QString& last) {
        offered = last;
        return answer;
    });
    viewer.open();
    QCOMPARE(viewer.windowTitle(), second);
    QCOMPARE(viewer.text(), QStringLiteral("second <b>file</b>\n"));
    // Open does not change the file the main window asked for.
    QCOMPARE(appState().strViewFile, first);

    // Cancelled: nothing changes, though a file was opened before; the
    // dialog starts with the name last used.
    answer.clear();
    viewer.open();
    QCOMPARE(offered, second);
    QCOMPARE(viewer.windowTitle(), second);
    QCOMPARE(viewer.text(), QStringLiteral("second <b>file</b>\n"));
}

void TestViewer::openFailureKeepsTextAndTellsWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("too large") << "large";
}

void TestViewer::openFailureKeepsTextAndTellsWhy()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString bad = dir.filePath(QStringLiteral("gone.txt"));
    if (kind == QLatin1String("folder")) {
        bad = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    } else if (kind == QLatin1String("large")) {
        // Sparse: takes no disk space.
        bad = dir.filePath(QStringLiteral("huge.dat"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(kMaxViewableFileSize + 1));
    }
    appState().strViewFile.clear();
    frmView viewer{QString()};
    viewer.show();
    viewer.rtbUserArea->setPlainText(QStringLiteral("my edits"));
    viewer.setOpenFileChooser([&](QWidget*, const QString&) { return bad; });

    MessageWatcher messages(MessageWatcher::Find::TopLevel, 10);
    viewer.open();
    QCOMPARE(messages.texts.size(), 1);
    QCOMPARE(messages.titles.first(), QStringLiteral("Kestrion"));
    QVERIFY(messages.texts.first().contains(QStringLiteral("could not be opened")));
    QVERIFY(messages.texts.first().contains(QDir::toNativeSeparators(bad)));
    QCOMPARE(viewer.text(), QStringLiteral("my edits"));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("View/Edit File"));
    QVERIFY(viewer.isVisible());
}

void TestViewer::saveAsWritesWholeTextReplacing_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("crlf error log stays crlf") << QByteArray("Errors\r\nMSFT\r\n") << QByteArray("Errors\r\nMSFT\r\nADDED");
    QTest::newRow("lf stays lf") << QByteArray("a\nb") << QByteArray("a\nbADDED");
    QTest::newRow("latin-1 bytes survive") << QByteArray("caf\xe9\xa0\n") << QByteArray("caf\xe9\xa0\nADDED");
    QTest::newRow("utf-8 stays utf-8") << QByteArray("\xe2\x82\xac\n") << QByteArray("\xe2\x82\xac\nADDED");
}

void TestViewer::saveAsWritesWholeTextReplacing()
{
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, saved);
    const QString source = m_dir.filePath(QStringLiteral("source.txt"));
    const QString target = m_dir.filePath(QStringLiteral("target.txt"));
    writeFile(source, original);
    writeFile(target, QByteArray(10000, 'z'));
    appState().strViewFile = source;

    frmView viewer(source);
    viewer.show();
    viewer.rtbUserArea->moveCursor(QTextCursor::End);
    viewer.rtbUserArea->insertPlainText(QStringLiteral("ADDED"));
    // A selection does not limit what is saved.
    select(viewer.rtbUserArea, 0, 1);

    int asked = 0;
    QString answer = target;
    viewer.setSaveFileChooser([&](QWidget*, const QString&) {
        ++asked;
        return answer;
    });
    MessageWatcher messages(MessageWatcher::Find::TopLevel, 10);
    viewer.saveAs();
    QCOMPARE(asked, 1);
    QCOMPARE(test::readAll(target), saved);
    QCOMPARE(viewer.windowTitle(), QStringLiteral("View/Edit File"));
    QVERIFY(messages.texts.isEmpty());
    // The file it came from is untouched.
    QCOMPARE(test::readAll(source), original);

    // Cancelled: nothing is written.
    viewer.rtbUserArea->setPlainText(QStringLiteral("other"));
    answer.clear();
    viewer.saveAs();
    QCOMPARE(test::readAll(target), saved);
}

void TestViewer::saveAsFailureKeepsOldFileAndTellsWhy_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("target is a folder") << "folder";
    QTest::newRow("folder missing") << "no/such/folder/out.txt";
}

void TestViewer::saveAsFailureKeepsOldFileAndTellsWhy()
{
    QFETCH(QString, target);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString path = dir.filePath(target);
    appState().strViewFile.clear();
    frmView viewer{QString()};
    viewer.show();
    viewer.rtbUserArea->setPlainText(QStringLiteral("precious"));
    viewer.setSaveFileChooser([&](QWidget*, const QString&) { return path; });

    MessageWatcher messages(MessageWatcher::Find::TopLevel, 10);
    viewer.saveAs();
    QCOMPARE(messages.texts.size(), 1);
    QCOMPARE(messages.titles.first(), QStringLiteral("Kestrion"));
    QVERIFY(messages.texts.first().contains(QStringLiteral("could not be saved")));
    QVERIFY(messages.texts.first().contains(QDir::toNativeSeparators(path)));
    QVERIFY(viewer.isVisible());
    QCOMPARE(viewer.text(), QStringLiteral("precious"));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder"))).isDir());
}

void TestViewer::editAndClipboard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("clipboardBefore");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<QString>("clipboardAfter");

    QTest::newRow("copy selection") << "hello world" << 0 << 5 << "old" << "copy" << "hello world" << "hello";
    QTest::newRow("copy nothing selected empties clipboard") << "hello" << 2 << 2 << "old" << "copy" << "hello" << "";
    QTest::newRow("copy across lines gives line ends") << "ab\ncd" << 1 << 4 << "" << "copy" << "ab\ncd" << "b\nc";
    QTest::newRow("cut selection") << "hello world" << 5 << 11 << "old" << "cut" << "hello" << " world";
    QTest::newRow("cut nothing selected") << "hello" << 1 << 1 << "old" << "cut" << "hello" << "";
    QTest::newRow("paste over selection") << "hello world" << 6 << 11 << "there" << "paste" << "hello there" << "there";
    QTest::newRow("paste at caret") << "ab" << 1 << 1 << "X\nY" << "paste" << "aX\nYb" << "X\nY";
    QTest::newRow("paste markup as text") << "" << 0 << 0 << "<b>x</b>" << "paste" << "<b>x</b>" << "<b>x</b>";
    QTest::newRow("delete keeps clipboard") << "hello world" << 0 << 6 << "kept" << "delete" << "world" << "kept";
    QTest::newRow("delete nothing selected") << "hello" << 3 << 3 << "kept" << "delete" << "hello" << "kept";
}

void TestViewer::editAndClipboard()
{
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, clipboardBefore);
    QFETCH(QString, operation);
    QFETCH(QString, textAfter);
    QFETCH(QString, clipboardAfter);

    appState().strViewFile.clear();
    frmView viewer{QString()};
    viewer.show();
    viewer.rtbUserArea->setPlainText(text);
    select(viewer.rtbUserArea, from, to);
    QGuiApplication::clipboard()->setText(clipboardBefore);

    if (operation == QLatin1String("copy"))
        viewer.copy();
    else if (operation == QLatin1String("cut"))
        viewer.cut();
    else if (operation == QLatin1String("paste"))
        viewer.paste();
    else
        viewer.deleteSelection();

    QCOMPARE(viewer.text(), textAfter);
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboardAfter);
}

void TestViewer::printsSelectionOrAll_data()
{
    QTest::addColumn<int>("selectLines");
    QTest::addColumn<bool>("userPicksAll");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("expectSelectionOffered");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no selection prints everything") << 0 << false << false << false << "all";
    QTest::newRow("selection prints only the selection") << 2 << false << false << true << "selection";
    QTest::newRow("user switches to all pages") << 2 << true << false << true << "all";
    QTest::newRow("cancelled prints nothing") << 2 << false << true << true << "nothing";
}

void TestViewer::printsSelectionOrAll()
{
    QFETCH(int, selectLines);
    QFETCH(bool, userPicksAll);
    QFETCH(bool, cancel);
    QFETCH(bool, expectSelectionOffered);
    QFETCH(QString, expected);

    const QString source = m_dir.filePath(QStringLiteral("print.txt"));
    writeFile(source, lines(400));
    appState().strViewFile = source;
    frmView viewer(source);
    viewer.show();
    if (selectLines > 0)
        select(viewer.rtbUserArea, 0, int(lines(selectLines).size()));

    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("out.pdf"));
    bool offered = false;
    viewer.setPrinterChooser([&](QWidget*, QPrinter& printer, bool hasSelection) {
        offered = hasSelection;
        // The range comes preset the way the dialog shows it.
        if (printer.printRange() != (hasSelection ? QPrinter::Selection : QPrinter::AllPages))
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        if (userPicksAll)
            printer.setPrintRange(QPrinter::AllPages);
        return !cancel;
    });
    viewer.print();
    QCOMPARE(offered, expectSelectionOffered);

    if (expected == QLatin1String("nothing")) {
        QVERIFY(!QFile::exists(pdf));
        return;
    }
    QVERIFY(QFile::exists(pdf));
    const int pages = pdfPages(pdf);
    if (expected == QLatin1String("selection"))
        QCOMPARE(pages, 1);
    else
        QVERIFY2(pages > 3, qPrintable(QStringLiteral("%1 pages").arg(pages)));
    // The text on the screen is not changed by printing.
    QCOMPARE(viewer.text(), QString::fromLatin1(lines(400)));
}

void TestViewer::resizeRule_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("rule");

    // The client area is what lies below the menu bar; 575 twips are 38 px.
    QTest::newRow("design height") << 440 << "client less margin";
    QTest::newRow("tall") << 900 << "client less margin";
    QTest::newRow("client lower than the margin") << 50 << "nothing";
    // Under 350 twips (24 px) of outer height the margin is dropped.
    QTest::newRow("very low window") << 12 << "whole client";
}

void TestViewer::resizeRule()
{
    QFETCH(int, height);
    QFETCH(QString, rule);
    appState().strViewFile.clear();
    frmView viewer{QString()};
    viewer.show();
    viewer.resize(300, height);
    QTest::qWait(20);
    const int menu = viewer.menuBar->height();
    const int client = qMax(0, viewer.height() - menu);
    QCOMPARE(viewer.rtbUserArea->width(), viewer.width());
    QCOMPARE(viewer.rtbUserArea->y(), menu + 24);
    if (rule == QLatin1String("whole client")) {
        QVERIFY(viewer.frameGeometry().height() < 24);
        QCOMPARE(viewer.rtbUserArea->height(), client);
    } else if (rule == QLatin1String("nothing")) {
        QVERIFY(client > 0 && client < 38);
        QCOMPARE(viewer.rtbUserArea->height(), 0);
    } else {
        QCOMPARE(viewer.rtbUserArea->height(), client - 38);
        // The status bar stays at the bottom edge.
        QCOMPARE(viewer.StatusBar1->geometry().bottom(), viewer.height() - 1);
    }
}

void TestViewer::entryFunctionsShowModally_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("titleIsPath");

    QTest::newRow("view file") << "file" << true;
    QTest::newRow("view error log") << "log" << false;
}

void TestViewer::entryFunctionsShowModally()
{
    QFETCH(QString, entry);
    QFETCH(bool, titleIsPath);
    QTemporaryDir downloads;
    const QString logPath = ErrorLog::path(downloads.path());
    writeFile(logPath, "Errors\r\nIBM\r\n");
    const QString dataPath = downloads.filePath(QStringLiteral("MSFT"));
    writeFile(dataPath, "Date,Close\n");

    QWidget owner;
    owner.show();
    QString seenTitle;
    QString seenText;
    bool ownerBlocked = false;
    test::whenModal<frmView>([&](frmView& viewer) {
        seenTitle = viewer.windowTitle();
        seenText = viewer.text();
        ownerBlocked = viewer.parentWidget() == &owner && viewer.isModal();
        viewer.mnuClose->trigger();
    });

    if (entry == QLatin1String("file"))
        showFileViewer(&owner, dataPath, true);
    else
        viewErrorLog(&owner, downloads.path());

    QVERIFY(ownerBlocked);
    if (titleIsPath) {
        QCOMPARE(seenTitle, dataPath);
        QCOMPARE(seenText, QStringLiteral("Date,Close\n"));
        QCOMPARE(appState().strViewFile, dataPath);
    } else {
        QCOMPARE(seenTitle, QStringLiteral("View/Edit File"));
        QCOMPARE(seenText, QStringLiteral("Errors\nIBM\n"));
        QCOMPARE(appState().strViewFile, logPath);
    }
}

void TestViewer::largeFileOpensWithoutFreezing()
{
    const QString path = m_dir.filePath(QStringLiteral("big.csv"));
    QByteArray contents;
    const QByteArray line = "MSFT,D,20030925,25.10,25.50,24.90,25.20,1234567,0\r\n";
    contents.reserve(50 * 1024 * 1024 + line.size());
    while (contents.size() < 50 * 1024 * 1024)
        contents += line;
    writeFile(path, contents);
    appState().strViewFile = path;

    // The longest stretch the event loop went without running, measured by
    // a fast timer.
    qint64 longestStall = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, [&] {
        longestStall = qMax(longestStall, sinceTick.restart());
    });

    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start();
    auto viewer = std::make_unique<frmView>(path);
    const qint64 constructed = clock.elapsed();
    longestStall = qMax(longestStall, sinceTick.elapsed());
    viewer->show();
    QSignalSpy finished(viewer.get(), &frmView::loadFinished);
    QVERIFY(viewer->isLoading());

    // Until the text is whole it cannot be edited, saved or printed.
    QVERIFY(viewer->rtbUserArea->isReadOnly());
    bool saveOffered = false;
    viewer->setSaveFileChooser([&](QWidget*, const QString&) {
        saveOffered = true;
        return QString();
    });
    viewer->saveAs();
    QVERIFY(!saveOffered);

    QVERIFY(finished.wait(120000));
    const qint64 loaded = clock.elapsed();
    ticker.stop();
    qInfo("50 MB file: window up after %lld ms, text complete after %lld ms, longest pause of the event loop %lld ms",
          static_cast<long long>(constructed), static_cast<long long>(loaded), static_cast<long long>(longestStall));

    QVERIFY(!viewer->isLoading());
    QVERIFY(!viewer->rtbUserArea->isReadOnly());
    QVERIFY(viewer->mnuSaveAs->isEnabled());
    const QString text = viewer->text();
    QCOMPARE(text.size(), contents.size() - contents.count('\r'));
    QVERIFY(text == QString::fromLatin1(contents).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QCOMPARE(viewer->rtbUserArea->textCursor().position(), 0);

    // And it goes back out byte for byte.
    const QString copy = m_dir.filePath(QStringLiteral("big-copy.csv"));
    viewer->setSaveFileChooser([&](QWidget*, const QString&) { return copy; });
    viewer->saveAs();
    QVERIFY(test::readAll(copy) == contents);
}

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
