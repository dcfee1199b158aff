#include "download/ui/frmNoData.h"
#include "download/ui/run_prompts.h"
#include "platform/ui/prompt.h"

#include <QAbstractButton>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <QtTest>

using namespace kestrion;

class TestPrompt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { Prompt::setShownHook({}); }
    void hookSeesTheBoxAndItsAnswerArrivesOnce_data();
    void hookSeesTheBoxAndItsAnswerArrivesOnce();
    void askReturnsTheButtonPressed();
    void parentDeletedWhileOpenRunsNoCallback();
    void completionMessage_data();
    void completionMessage();
    void noDataAnswerWithoutWaiting();
};

void TestPrompt::hookSeesTheBoxAndItsAnswerArrivesOnce_data()
{
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press"); // NoButton: closed with Escape
    QTest::addColumn<int>("answer");
    QTest::newRow("warning, ok") << int(QMessageBox::Warning) << int(QMessageBox::Ok) << int(QMessageBox::Ok)
                                 << int(QMessageBox::Ok);
    QTest::newRow("question, no") << int(QMessageBox::Question) << int(QMessageBox::Yes | QMessageBox::No)
                                  << int(QMessageBox::No) << int(QMessageBox::No);
    QTest::newRow("ok cancel, escape") << int(QMessageBox::Information)
                                       << int(QMessageBox::Ok | QMessageBox::Cancel) << int(QMessageBox::NoButton)
                                       << int(QMessageBox::Cancel);
}

void TestPrompt::hookSeesTheBoxAndItsAnswerArrivesOnce()
{
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(int, answer);
    QWidget parent;
    parent.show();
    QString seenTitle, seenText;
    int seenIcon = -1, seenButtons = 0, shown = 0;
    QPointer<QMessageBox> seenBox;
    Prompt::setShownHook([&](QMessageBox& box) {
        ++shown;
        seenBox = &box;
        seenTitle = box.windowTitle();
        seenText = box.text();
        seenIcon = box.icon();
        seenButtons = int(box.standardButtons());
        QVERIFY(box.isVisible());
        QCOMPARE(box.windowModality(), Qt::WindowModal);
        if (press == QMessageBox::NoButton)
            QTest::keyClick(&box, Qt::Key_Escape);
        else
            box.button(QMessageBox::StandardButton(press))->click();
    });
    QList<int> answers;
    Prompt::open(&parent, QMessageBox::Icon(icon), QStringLiteral("Title"), QStringLiteral("Text"),
                 QMessageBox::StandardButtons(buttons), QMessageBox::NoButton,
                 [&](QMessageBox::StandardButton b) { answers << b; });
    // Never inside the call that opened it.
    QCOMPARE(shown, 0);
    QTRY_COMPARE(answers.size(), 1);
    QCOMPARE(answers, QList<int>{answer});
    QCOMPARE(shown, 1);
    QCOMPARE(seenTitle, QStringLiteral("Title"));
    QCOMPARE(seenText, QStringLiteral("Text"));
    QCOMPARE(seenIcon, icon);
    QCOMPARE(seenButtons, buttons);
    QTRY_VERIFY(seenBox.isNull()); // it deleted itself
    QTest::qWait(50);
    QCOMPARE(answers.size(), 1);
}

void TestPrompt::askReturnsTheButtonPressed()
{
    QWidget parent;
    parent.show();
    Qt::WindowModality modality = Qt::NonModal;
    Prompt::setShownHook([&](QMessageBox& box) {
        modality = box.windowModality();
        box.button(QMessageBox::Yes)->click();
    });
    QCOMPARE(Prompt::ask(&parent, QMessageBox::Question, QStringLiteral("T"), QStringLiteral("Go on?"),
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
             QMessageBox::Yes);
    QCOMPARE(modality, Qt::ApplicationModal);
    QVERIFY(parent.findChildren<QMessageBox*>().isEmpty());
}

void TestPrompt::parentDeletedWhileOpenRunsNoCallback()
{
    // The callback touches the parent; it must never run.
    int answered = 0;
    auto* parent = new QWidget;
    parent->show();
    QPointer<QMessageBox> shownBox;
    Prompt::setShownHook([&](QMessageBox& box) { shownBox = &box; });
    Prompt::open(parent, QMessageBox::Warning, QStringLiteral("T"), QStringLiteral("X"), QMessageBox::Ok,
                 QMessageBox::Ok, [&answered, parent](QMessageBox::StandardButton) {
                     ++answered;
                     parent->setWindowTitle(QStringLiteral("answered"));
                 });
    // A box made by its caller too.
    openCompletionMessage(parent, 1, QStringLiteral("ZZ"), [&answered, parent] {
        ++answered;
        parent->setWindowTitle(QStringLiteral("answered"));
    });
    QTRY_COMPARE(parent->findChildren<QMessageBox*>().size(), 2);
    QTRY_VERIFY(shownBox);
    delete parent;
    QVERIFY(shownBox.isNull());
    QTest::qWait(50);
    QCOMPARE(answered, 0);

    // ask() over a parent that goes while it waits returns no answer.
    auto* owner = new QWidget;
    owner->show();
    Prompt::setShownHook([owner](QMessageBox&) { QTimer::singleShot(0, [owner] { delete owner; }); });
    QCOMPARE(Prompt::ask(owner, QMessageBox::Warning, QStringLiteral("T"), QStringLiteral("X")),
             QMessageBox::NoButton);
}

void TestPrompt::completionMessage_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<QString>("info");
    QTest::newRow("all downloaded") << 0 << QString();
    QTest::newRow("two failed") << 2
                                << QStringLiteral("Tickers not downloaded: 2 (see errorlog.txt).\nLast failure: ZZ: gone");
}

void TestPrompt::completionMessage()
{
    QFETCH(int, failures);
    QFETCH(QString, info);
    QWidget parent;
    parent.setWindowTitle(QStringLiteral("Kestrion - list.mdb"));
    parent.show();
    QStringList seen;
    Prompt::setShownHook([&](QMessageBox& box) {
        seen << box.windowTitle() << box.text() << box.informativeText() << QString::number(box.icon())
             << QString::number(box.standardButtons());
        box.button(QMessageBox::Ok)->click();
    });
    int done = 0;
    openCompletionMessage(&parent, failures, QStringLiteral("ZZ: gone"), [&] { ++done; });
    QTRY_COMPARE(done, 1);
    QCOMPARE(seen, (QStringList{QStringLiteral("Kestrion - list.mdb"), QStringLiteral("Download Complete!"), info,
                                QString::number(QMessageBox::Warning), QString::number(QMessageBox::Ok)}));
}

void TestPrompt::noDataAnswerWithoutWaiting()
{
    QWidget window;
    window.show();
    QList<bool> answers;
    const auto answerWith = [&](const char* button) {
        frmNoData::openAsk(&window, [&](bool stop) { answers << stop; });
        auto* prompt = window.findChild<frmNoData*>();
        QVERIFY(prompt && prompt->isVisible());
        QCOMPARE(prompt->windowModality(), Qt::WindowModal);
        if (button)
            prompt->findChild<QPushButton*>(QLatin1String(button))->click();
        else
            prompt->reject();
        QTRY_VERIFY(window.findChild<frmNoData*>() == nullptr);
    };
    answerWith("cmdNo");
    answerWith(nullptr); // closed: the earlier "No" stands
    answerWith("cmdYes");
    QCOMPARE(answers, (QList<bool>{true, true, false}));

    // The window going first takes the prompt along, unanswered.
    auto* owner = new QWidget;
    owner->show();
    frmNoData::openAsk(owner, [&](bool stop) { answers << stop; });
    delete owner;
    QTest::qWait(50);
    QCOMPARE(answers.size(), 3);
}

QTEST_MAIN(TestPrompt)
#include "test_prompt.moc"
