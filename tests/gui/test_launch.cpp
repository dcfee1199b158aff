#include "app/ui/single_windows.h"
#include "core/app_state.h"
#include "platform/program_launcher.h"
#include "schedule/ui/dlgLaunchApp.h"
#include "gui_support.h"
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

    void install(SingleWindows& windows)
    {
        windows.setProgramStarter([this](const QString& line) {
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
    void okTriesTypedPathThroughTheStarter_data();
    void okTriesTypedPathThroughTheStarter();
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

    OptionsForm& form() { return m_windows->options(); }

    test::TempConfig m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<SingleWindows> m_windows;
};

void TestLaunch::init()
{
    resetAppState();
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
    m_windows = std::make_unique<SingleWindows>(m_main.get(), record());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
}

void TestLaunch::cleanup()
{
    m_windows.reset();
    m_main.reset(); // and the prompt with it
    flushDeletes();
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
    m_windows->launchApplication();
    dlgLaunchApp* prompt = m_windows->launchPrompt();
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
    m_windows->launchApplication();

    for (const QString& name : made)
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(name)), 10000);
    QCOMPARE(m_windows->launchPrompt(), nullptr);
    QVERIFY(otherVisibleWindows().isEmpty());
    QVERIFY(!form().isLoaded());
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
    QCOMPARE(test::modalWindow(), nullptr);
    QCOMPARE(prompt->parentWidget(), m_main.get());
    QCOMPARE(otherVisibleWindows(), QList<QWidget*>{prompt});

    QCOMPARE(prompt->windowTitle(), QStringLiteral("Launch Application"));
    QCOMPARE(prompt->Label1->text(),
             QStringLiteral("Application not found.  Please check Launch Application path and filename specified in "
                            "View > Options > Miscellaneous Settings."));
    // Menu places are named as the menus show them, not as a path.
    QVERIFY(!prompt->Label1->text().contains(QLatin1Char('\\')));
    QCOMPARE(prompt->Label2->text(), QStringLiteral("Path:"));
    QCOMPARE(prompt->OKButton->text(), QStringLiteral("OK"));
    QCOMPARE(prompt->CancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(prompt->txtPath->text(), QString());
    QCOMPARE(prompt->findChild<QLineEdit*>(QStringLiteral("txtPath")), prompt->txtPath);

    QCOMPARE(record().appName, stored);
    QVERIFY(!form().isLoaded());
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
    QTest::addColumn<QString>("options"); // the options form before OK
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
    record().autoStartApp = Flag::loaded(qint16(autoStart));
    if (options == QLatin1String("loaded"))
        QCOMPARE(form().values().appName, kMissingProgram);

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
    QCOMPARE(m_windows->launchPrompt(), nullptr);
    // A path that does not start is kept without a word.
    QVERIFY(otherVisibleWindows().isEmpty());

    // The options form, loaded if need be, holds the same path and keeps it
    // through its close step at shutdown.
    QVERIFY(form().isLoaded());
    QCOMPARE(form().values().appName, path);
    QCOMPARE(form().values().autoRun, autoStart == 1);
    m_windows->closeOptions();
    QCOMPARE(record().appName, path);
    QCOMPARE(int(record().autoStartApp.stored()), autoStart);

    // The next Launch Application uses it directly.
    if (!made.isEmpty()) {
        QVERIFY(QFile::remove(file(made)));
        m_windows->launchApplication();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file(made)), 10000);
        QCOMPARE(m_windows->launchPrompt(), nullptr);
    } else {
        QVERIFY(launchToPrompt());
    }
}

void TestLaunch::okWithEmptyPathClearsAndAsksAgain()
{
    StarterSpy spy;
    spy.install(*m_windows);
    record().appName = kMissingProgram;

    QPointer<dlgLaunchApp> prompt = launchToPrompt();
    QVERIFY(prompt);
    QCOMPARE(spy.lines, QStringList{kMissingProgram});
    QTest::mouseClick(prompt->OKButton, Qt::LeftButton);
    flushDeletes();
    QVERIFY(prompt.isNull());

    QCOMPARE(record().appName, QString());
    QCOMPARE(spy.lines, QStringList{kMissingProgram}); // nothing to start
    QCOMPARE(form().values().appName, QString());

    dlgLaunchApp* again = launchToPrompt();
    QVERIFY(again);
    QVERIFY(again->isVisible());
    QCOMPARE(again->txtPath->text(), QString());
    QCOMPARE(spy.lines, QStringList{kMissingProgram});

    // And the cleared path stays cleared through the options form.
    m_windows->closeOptions();
    QCOMPARE(record().appName, QString());
}

void TestLaunch::okTriesTypedPathThroughTheStarter_data()
{
    QTest::addColumn<bool>("starts");
    QTest::addColumn<bool>("replaceStarter"); // a new starter handed over while the prompt is open

    QTest::newRow("starts") << true << false;
    QTest::newRow("does not start") << false << false;
    QTest::newRow("starter replaced after the prompt opened") << true << true;
}

void TestLaunch::okTriesTypedPathThroughTheStarter()
{
    QFETCH(bool, starts);
    QFETCH(bool, replaceStarter);

    StarterSpy spy;
    spy.install(*m_windows);
    record().appName = kMissingProgram;
    QPointer<dlgLaunchApp> prompt = launchToPrompt();
    QVERIFY(prompt);
    StarterSpy later;
    if (replaceStarter)
        later.install(*m_windows);
    spy.result = starts;
    const QString typed = QStringLiteral("\"/opt/My Charts/charts\" --open");
    QTest::keyClicks(prompt->txtPath, typed);
    QTest::mouseClick(prompt->OKButton, Qt::LeftButton);
    flushDeletes();

    // The prompt keeps the starter it was made with; nothing else is started.
    QCOMPARE(spy.lines, (QStringList{kMissingProgram, typed}));
    QCOMPARE(later.lines, QStringList());
    QCOMPARE(record().appName, typed);
    QCOMPARE(form().values().appName, typed);
    QVERIFY(otherVisibleWindows().isEmpty());
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
    spy.install(*m_windows);
    record().appName = kMissingProgram;
    if (optionsLoaded)
        form().values();

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
    QCOMPARE(m_windows->launchPrompt(), nullptr);
    QVERIFY(otherVisibleWindows().isEmpty());
    QCOMPARE(record().appName, kMissingProgram);
    QCOMPARE(spy.lines, QStringList{kMissingProgram}); // only the launch's own try
    QCOMPARE(form().isLoaded(), optionsLoaded);
    if (optionsLoaded)
        QCOMPARE(form().values().appName, kMissingProgram);
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
    spy.install(*m_windows);
    record().appName = appName;
    m_windows->launchApplication();

    QCOMPARE(spy.lines, QStringList{appName});
    QCOMPARE(m_windows->launchPrompt() != nullptr, !starts);
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
