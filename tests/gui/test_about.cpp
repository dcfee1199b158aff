#include "gui_support.h"
#include "platform/system_info.h"
#include "testsupport.h"
#include "tools/ui/frmAbout.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace kestrion;
using test::MessageWatcher;

namespace {

// A stand-in system information program that notes its name in the marker
// file when it runs.
void makeProgram(const QString& path, const QString& marker, bool executable = true)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\necho " + QFileInfo(path).fileName().toUtf8() + " >> '" + marker.toUtf8() + "'\n");
    f.close();
    if (executable)
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void showsProductFacts();
    void okEnterAndEscClose_data();
    void okEnterAndEscClose();
    void systemInfoLookup_data();
    void systemInfoLookup();
    void showAboutIsModalOverOwner();
};

void TestAbout::showsProductFacts()
{
    frmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.windowTitle(), QStringLiteral("About Kestrion"));
    QCOMPARE(box.lblTitle->text(), QStringLiteral("Kestrion"));
    QVERIFY(box.lblTitle->font().bold());
    // Plain numbers: minor 5 is "5", not "05".
    QCOMPARE(box.lblVersion->text(), QStringLiteral("Version 1.5.7"));
    QVERIFY(box.lblDescription->text().startsWith(QStringLiteral(
        "This application will download multiple historical stock data files from the Yahoo! Finance and "
        "Wall Street City websites.")));
    QVERIFY(!box.Image1->pixmap().isNull());
    QCOMPARE(box.cmdOK->text(), QStringLiteral("Ok"));
    QCOMPARE(box.cmdSysInfo->text(), QStringLiteral("&System Info..."));
    QVERIFY(box.cmdOK->isDefault());
    QVERIFY(box.cmdSysInfo->y() > box.cmdOK->y());
    QVERIFY(box.Line1->y() < box.cmdOK->y());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.cmdOK));
}

void TestAbout::okEnterAndEscClose_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Ok clicked") << "click";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("Return") << "return";
    QTest::newRow("Esc") << "esc";
}

void TestAbout::okEnterAndEscClose()
{
    QFETCH(QString, how);
    frmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.activateWindow();
    QTRY_VERIFY(box.cmdOK->hasFocus());
    if (how == QLatin1String("click"))
        QTest::mouseClick(box.cmdOK, Qt::LeftButton);
    else if (how == QLatin1String("enter"))
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    else if (how == QLatin1String("return"))
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    else
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!box.isVisible());
}

void TestAbout::systemInfoLookup_data()
{
    // configured: what "Tools" / "System Info Program" holds ("none": not
    // set; "script": an existing program; "plain": an existing file that
    // cannot run; "missing": a path with nothing there).
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QString>("started");

    QTest::newRow("configured program first")
        << "script" << QStringList{"hardinfo"} << "my-sysinfo";
    QTest::newRow("configured path missing: message, no PATH fallback")
        << "missing" << QStringList{"hardinfo"} << "";
    QTest::newRow("configured file cannot run: message")
        << "plain" << QStringList{"hardinfo"} << "";
    QTest::newRow("blank setting: PATH search") << "blank" << QStringList{"kinfocenter"} << "kinfocenter";
    QTest::newRow("PATH search in order of preference")
        << "none" << QStringList{"xfce4-taskmanager", "gnome-system-monitor", "kinfocenter"} << "kinfocenter";
    QTest::newRow("nothing anywhere: message") << "none" << QStringList{} << "";
}

void TestAbout::systemInfoLookup()
{
    QFETCH(QString, configured);
    QFETCH(QStringList, onPath);
    QFETCH(QString, started);

    test::TempConfig config;
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("ran.txt"));
    const QString bin = dir.filePath(QStringLiteral("bin"));
    for (const QString& program : onPath)
        makeProgram(bin + QLatin1Char('/') + program, marker);

    const QString own = dir.filePath(QStringLiteral("tools dir/my-sysinfo"));
    if (configured == QLatin1String("script")) {
        makeProgram(own, marker);
        config.set(SystemInfo::kSection, SystemInfo::kProgramKey, own);
    } else if (configured == QLatin1String("plain")) {
        makeProgram(own, marker, false);
        config.set(SystemInfo::kSection, SystemInfo::kProgramKey, own);
    } else if (configured == QLatin1String("missing")) {
        config.set(SystemInfo::kSection, SystemInfo::kProgramKey, dir.filePath(QStringLiteral("nowhere/msinfo")));
    } else if (configured == QLatin1String("blank")) {
        config.set(SystemInfo::kSection, SystemInfo::kProgramKey, QStringLiteral(" "));
    }

    frmAbout box;
    box.setSearchPath(QStringLiteral("/nonexistent-folder:") + bin);
    box.show();
    MessageWatcher messages(MessageWatcher::Find::TopLevel, 10);
    QTest::mouseClick(box.cmdSysInfo, Qt::LeftButton);

    if (started.isEmpty()) {
        QTRY_COMPARE(messages.texts.size(), 1);
        QCOMPARE(messages.texts.first(), QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(messages.titles.first(), QStringLiteral("Kestrion"));
        QCOMPARE(messages.buttons.first(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(marker));
    } else {
        QTRY_VERIFY(QFile::exists(marker));
        QTest::qWait(100);
        QCOMPARE(test::readAll(marker), started.toUtf8() + '\n');
        QVERIFY(messages.texts.isEmpty());
    }
    // The About box stays open either way.
    QVERIFY(box.isVisible());
}

void TestAbout::showAboutIsModalOverOwner()
{
    QWidget owner;
    owner.show();
    bool seen = false;
    test::whenModal<frmAbout>([&](frmAbout& box) {
        seen = box.parentWidget() == &owner && box.isModal();
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    showAbout(&owner);
    QVERIFY(seen);
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
