#include "core/app_state.h"
#include "options/ui/frmOptions.h"
#include "platform/program_launcher.h"
#include "schedule/app_launch.h"
#include "schedule/ui/dlgLaunchApp.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kestrion;

namespace {

Settings& record()
{
    return appState().settings;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Stands in for the start service: records each command line it is given.
struct StarterSpy
{
    QStringList lines;
    bool result = false;

    void install()
    {
        setProgramStarter([this](const QString& line) {
            lines << line;
            return result;
        });
    }
};

const QString kMissingProgram = QStringLiteral("/nonexistent/kestrion-no-such-program");

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void launchStartsNamedProgram_data();
    void launchStartsNamedProgram();
    void launchFailureShowsPrompt_data();
    void launchFailureShowsPrompt();
    void launchWhilePromptOpenKeepsOnePrompt();
    void okTakesPath_data();
    void okTakesPath();
    void okWithEmptyPathClearsAndAsksAgain();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void starterGetsWholeLine_data();
    void starterGetsWholeLine();
    void splitCommandLine_data();
    void splitCommandLine();

private:
    // Command line with %1 standing for the test's folder.
    QString line(const QString& pattern) const
    {
        return pattern.contains(QLatin1String("%1")) ? pattern.arg(m_dir->path()) : pattern;
    }
    QString file(const QString& name) const { return m_dir->filePath(name); }
    // Top-level windows on screen other than the main window.
    QList<QWidget*> otherVisibleWindows() const;
    dlgLaunchApp* launchToPrompt();

    test::TempConfig m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QMainWindow> m_main;
};

void TestLaunch::init()
{
    resetAppState();
    setProgramStarter({});
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(!m_dir->path().contains(QLatin1Char(' ')));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("with blank")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("my tools")));
    QVERIFY(QFile::link(QStringLiteral("/usr/bin/touch"), file(QStringLiteral("my tools/touch"))));
    QFile notes(file(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a program\n");
    notes.close();

    m_main = std::make_unique<QMainWindow>();
    m_main->setWindowTitle(QStringLiteral("Kestrion"));
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
}

void TestLaunch::cleanup()
{
    delete dlgLaunchApp::openPrompt();
    if (isOptionsDialogLoaded())
        unloadOptionsDialog();
    flushDeletes();
    m_main.reset();
    setProgramStarter({});
    resetAppState();
    m_dir.reset();
}

QList<QWidget*> TestLaunch::otherVisibleWindows() const
{
    QList<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w != m_main.get())
            windows << w;
    }
    return windows;
}

dlgLaunchApp* TestLaunch::launchToPrompt()
{
    launchApplication(m_main.get());
    dlgLaunchApp* prompt = dlgLaunchApp::openPrompt();
    if (prompt && !QTest::qWaitForWindowExposed(prompt))
        return nullptr;
    return prompt;
}

void TestLaunch::launchStartsNamedProgram_data()
{
    QTest::addColumn<QString>("appName");
    QTest::addColumn<QStringList>("made"); // files the started program creates

    QTest::newRow("plain") << "/usr/bin/touch %1/plain" << QStringList{"plain"};
    QTest::newRow("found on the path") << "touch %1/onpath" << QStringList{"onpath"};
    QTest::newRow("quoted argument with a blank")
        << "/usr/bin/touch \"%1/with blank/file\"" << QStringList{"with blank/file"};
    QTest::newRow("quoted program path with a blank") << "\"%1/my tools/touch\" %1/vialink" << QStringList{"vialink"};
    QTest::newRow("several arguments, extra blanks")
        << "  /usr/bin/touch   %1/a    \"%1/with blank/b\"  " << QStringList{"a", "with blank/b"};
}

void TestLaunch::launchStartsNamedProgram()
{
    QFETCH(QString, appName);
    QFETCH(QStringList, made);

    record().appName = line(appName);
    launchApplication(m_main.get());

    for (const QString& name : made)
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(name)), 10000);
    QCOMPARE(dlgLaunchApp::openPrompt(), nullptr);
    QVERIFY(otherVisibleWindows().isEmpty());
    QVERIFY(!isOptionsDialogLoaded());
    QCOMPARE(record().appName, line(appName));
}

void TestLaunch::launchFailureShowsPrompt_data()
{
    QTest::addColumn<QString>("appName");

    QTest::newRow("empty") << "";
    QTest::newRow("missing program") << kMissingProgram;
    QTest::newRow("not executable") << "%1/notes.txt";
    QTest::newRow("a folder") << "%1";
    QTest::newRow("blanks only") << "   ";
    // Without quotes the blank ends the program's path.
    QTest::newRow("unquoted blank") << "%1/my tools/touch %1/unquoted";
    QTest::newRow("unbalanced quote") << "\"%1/my tools/touch %1/unbalanced";
}

void TestLaunch::launchFailureShowsPrompt()
{
    QFETCH(QString, appName);

    const QString stored = line(appName);
    record().appName = stored;
    dlgLaunchApp* prompt = launchToPrompt();
    QVERIFY(prompt);
    QVERIFY(prompt->isVisible());
    // Modeless over the main window, which stays usable.
    QVERIFY(!prompt->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(prompt->parentWidget(), m_main.get());
    QCOMPARE(otherVisibleWindows(), QList<QWidget*>{prompt});

    QCOMPARE(prompt->windowTitle(), QStringLiteral("Launch Application"));
    QCOMPARE(prompt->Label1->text(),
             QStringLiteral("Application not found.  Please check Launch Application path and filename specified in "
                            "View\\Options\\Miscellaneous Tab."));
    QCOMPARE(prompt->Label2->text(), QStringLiteral("Path:"));
    QCOMPARE(prompt->OKButton->text(), QStringLiteral("OK"));
    QCOMPARE(prompt->CancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(prompt->txtPath->text(), QString());
    QCOMPARE(prompt->findChild<QLineEdit*>(QStringLiteral("txtPath")), prompt->txtPath);

    QCOMPARE(record().appName, stored);
    QVERIFY(!isOptionsDialogLoaded());
    QTest::qWait(200);
    QVERIFY(!QFile::exists(file(QStringLiteral("unquoted"))));
    QVERIFY(!QFile::exists(file(QStringLiteral("unbalanced"))));
}

void TestLaunch::launchWhilePromptOpenKeepsOnePrompt()
{
    record().appName = kMissingProgram;
    QPointer<dlgLaunchApp> first = launchToPrompt();
    QVERIFY(first);
    QTest::keyClicks(first->txtPath, QStringLiteral("/half/typed"));

    QCOMPARE(launchToPrompt(), first.data());
    QCOMPARE(otherVisibleWindows().size(), 1);
    QCOMPARE(first->txtPath->text(), QStringLiteral("/half/typed"));

    // Once closed, the next one is new and empty.
    QTest::mouseClick(first->CancelButton, Qt::LeftButton);
    flushDeletes();
    QVERIFY(first.isNull());
    dlgLaunchApp* second = launchToPrompt();
    QVERIFY(second);
    QCOMPARE(second->txtPath->text(), QString());
}

void TestLaunch::okTakesPath_data()
{
    QTest::addColumn<QString>("options"); // the options dialog before OK
    QTest::addColumn<int>("autoStart");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("made"); // file the started program creates, or empty
    QTest::addColumn<bool>("enterKey");

    QTest::newRow("options not loaded") << "not loaded" << 1 << "/usr/bin/touch %1/ok" << "ok" << false;
    QTest::newRow("options loaded with the old path")
        << "loaded" << 1 << "/usr/bin/touch \"%1/with blank/ok\"" << "with blank/ok" << false;
    QTest::newRow("options loaded, path box greyed") << "loaded" << 0 << "\"%1/my tools/touch\" %1/ok2" << "ok2"
                                                     << false;
    QTest::newRow("Enter key") << "not loaded" << 1 << "/usr/bin/touch %1/enter" << "enter" << true;
    QTest::newRow("path that does not start") << "loaded" << 1 << kMissingProgram + "-new" << "" << false;
}

void TestLaunch::okTakesPath()
{
    QFETCH(QString, options);
    QFETCH(int, autoStart);
    QFETCH(QString, typed);
    QFETCH(QString, made);
    QFETCH(bool, enterKey);

    const QString path = line(typed);
    record().appName = kMissingProgram;
    record().autoStartApp = qint16(autoStart);
    if (options == QLatin1String("loaded"))
        QCOMPARE(optionsDialog(m_main.get()).txtAppName->text(), kMissingProgram);

    QPointer<dlgLaunchApp> prompt = launchToPrompt();
    QVERIFY(prompt);
    prompt->txtPath->setFocus();
    QTest::keyClicks(prompt->txtPath, path);
    if (enterKey)
        QTest::keyClick(prompt->txtPath, Qt::Key_Return);
    else
        QTest::mouseClick(prompt->OKButton, Qt::LeftButton);

    QCOMPARE(record().appName, path);
    if (!made.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(made)), 10000);
    flushDeletes();
    QVERIFY(prompt.isNull());
    QCOMPARE(dlgLaunchApp::openPrompt(), nullptr);
    // A path that does not start is kept without a word.
    QVERIFY(otherVisibleWindows().isEmpty());

    // The options dialog, loaded hidden if need be, shows the same path and
    // keeps it when it is unloaded at shutdown.
    QVERIFY(isOptionsDialogLoaded());
    QVERIFY(!optionsDialog(m_main.get()).isVisible());
    QCOMPARE(optionsDialog(m_main.get()).txtAppName->text(), path);
    QCOMPARE(optionsDialog(m_main.get()).txtAppName->isEnabled(), autoStart == 1);
    unloadOptionsDialog();
    QCOMPARE(record().appName, path);
    QCOMPARE(int(record().autoStartApp), autoStart);

    // The next Launch Application uses it directly.
    if (!made.isEmpty()) {
        QVERIFY(QFile::remove(file(made)));
        launchApplication(m_main.get());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(made)), 10000);
        QCOMPARE(dlgLaunchApp::openPrompt(), nullptr);
    } else {
        QVERIFY(launchToPrompt());
    }
}

void TestLaunch::okWithEmptyPathClearsAndAsksAgain()
{
    StarterSpy spy;
    spy.install();
    record().appName = kMissingProgram;

    QPointer<dlgLaunchApp> prompt = launchToPrompt();
    QVERIFY(prompt);
    QCOMPARE(spy.lines, QStringList{kMissingProgram});
    QTest::mouseClick(prompt->OKButton, Qt::LeftButton);
    flushDeletes();
    QVERIFY(prompt.isNull());

    QCOMPARE(record().appName, QString());
    QCOMPARE(spy.lines, QStringList{kMissingProgram}); // nothing to start
    QCOMPARE(optionsDialog(m_main.get()).txtAppName->text(), QString());

    dlgLaunchApp* again = launchToPrompt();
    QVERIFY(again);
    QVERIFY(again->isVisible());
    QCOMPARE(again->txtPath->text(), QString());
    QCOMPARE(spy.lines, QStringList{kMissingProgram});

    // And the cleared path stays cleared through the options dialog.
    unloadOptionsDialog();
    QCOMPARE(record().appName, QString());
}

void TestLaunch::cancelChangesNothing_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("optionsLoaded");

    for (const char* way : {"Cancel button", "Esc", "close box"}) {
        QTest::addRow("%s", way) << QString::fromLatin1(way) << false;
        QTest::addRow("%s, options loaded", way) << QString::fromLatin1(way) << true;
    }
}

void TestLaunch::cancelChangesNothing()
{
    QFETCH(QString, way);
    QFETCH(bool, optionsLoaded);

    StarterSpy spy;
    spy.install();
    record().appName = kMissingProgram;
    if (optionsLoaded)
        optionsDialog(m_main.get());

    QPointer<dlgLaunchApp> prompt = launchToPrompt();
    QVERIFY(prompt);
    QTest::keyClicks(prompt->txtPath, line(QStringLiteral("/usr/bin/touch %1/cancelled")));
    if (way == QLatin1String("Cancel button"))
        QTest::mouseClick(prompt->CancelButton, Qt::LeftButton);
    else if (way == QLatin1String("Esc"))
        QTest::keyClick(prompt->txtPath, Qt::Key_Escape);
    else
        prompt->close();
    flushDeletes();

    QVERIFY(prompt.isNull());
    QCOMPARE(dlgLaunchApp::openPrompt(), nullptr);
    QVERIFY(otherVisibleWindows().isEmpty());
    QCOMPARE(record().appName, kMissingProgram);
    QCOMPARE(spy.lines, QStringList{kMissingProgram}); // only the launch's own try
    QCOMPARE(isOptionsDialogLoaded(), optionsLoaded);
    if (optionsLoaded)
        QCOMPARE(optionsDialog(m_main.get()).txtAppName->text(), kMissingProgram);
}

void TestLaunch::starterGetsWholeLine_data()
{
    QTest::addColumn<QString>("appName");
    QTest::addColumn<bool>("starts");

    QTest::newRow("quoted path and arguments") << "\"/opt/My Charts/charts\" --open ~/quotes" << true;
    QTest::newRow("blanks around") << "  /opt/charts  " << true;
    QTest::newRow("fails") << "/opt/charts -x" << false;
}

void TestLaunch::starterGetsWholeLine()
{
    QFETCH(QString, appName);
    QFETCH(bool, starts);

    StarterSpy spy;
    spy.result = starts;
    spy.install();
    record().appName = appName;
    launchApplication(m_main.get());

    QCOMPARE(spy.lines, QStringList{appName});
    QCOMPARE(dlgLaunchApp::openPrompt() != nullptr, !starts);
    QCOMPARE(record().appName, appName);
}

void TestLaunch::splitCommandLine_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("program only") << "/usr/bin/charts" << QStringList{"/usr/bin/charts"};
    QTest::newRow("arguments") << "charts -a b" << QStringList{"charts", "-a", "b"};
    QTest::newRow("runs of blanks and tabs") << " \tcharts   -a\t b  " << QStringList{"charts", "-a", "b"};
    QTest::newRow("quoted program with a blank")
        << "\"/opt/My Charts/charts\" --open" << QStringList{"/opt/My Charts/charts", "--open"};
    QTest::newRow("quoted argument with blanks") << "charts \"a  b\" c" << QStringList{"charts", "a  b", "c"};
    QTest::newRow("quotes inside a word") << "charts --dir=\"/my dir\"/x"
                                          << QStringList{"charts", "--dir=/my dir/x"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("blanks only") << "   " << QStringList{};
}

void TestLaunch::splitCommandLine()
{
    QFETCH(QString, commandLine);
    QFETCH(QStringList, parts);
    QCOMPARE(ProgramLauncher::splitCommandLine(commandLine), parts);
    // The start service refuses a line with no program at all.
    if (parts.isEmpty())
        QVERIFY(!ProgramLauncher::start(commandLine));
}

QTEST_MAIN(TestLaunch)
#include "test_launch.moc"
