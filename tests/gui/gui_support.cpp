#include "gui_support.h"

#include "app/ui/frmMain.h"
#include "core/app_state.h"
#include "core/settings_record.h"
#include "platform/ui/prompt.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>

namespace kestrion::test {

namespace {

// The named child; a name that is gone breaks every test of the window, so
// it ends the run at once.
template <typename T>
T* named(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("The main window has no %s named \"%s\"", T::staticMetaObject.className(), name);
    return found;
}

} // namespace

namespace {

// The live watchers, oldest first: a prompt box goes to the newest.
QList<ModalWatcher*>& watchers()
{
    static QList<ModalWatcher*> list;
    return list;
}

bool isPromptBox(QWidget* w)
{
    auto* box = qobject_cast<QMessageBox*>(w);
    return box && Prompt::isPrompt(*box);
}

} // namespace

ModalWatcher::ModalWatcher(Handler handler, int intervalMs)
    : m_handler(std::move(handler))
{
    if (watchers().isEmpty())
        Prompt::setShownHook(&ModalWatcher::promptShown);
    watchers() << this;
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
}

ModalWatcher::~ModalWatcher()
{
    watchers().removeOne(this);
    if (watchers().isEmpty())
        Prompt::setShownHook({});
}

void ModalWatcher::promptShown(QMessageBox& box)
{
    QPointer<QMessageBox> guard(&box);
    const QList<ModalWatcher*> now = watchers();
    for (auto it = now.rbegin(); it != now.rend() && guard && guard->isVisible(); ++it) {
        if (!watchers().contains(*it))
            continue;
        (*it)->m_done = guard.data();
        (*it)->m_handler(*guard);
    }
}

void ModalWatcher::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == m_done || isPromptBox(modal))
        return;
    QPointer<QWidget> guard(modal);
    if (m_handler(*modal))
        m_done = guard.data();
}

void whenModalWidget(std::function<bool(QWidget&)> takes, int timeoutMs)
{
    // Ends itself once the handler took a window, or at the time limit.
    struct OneShot : QObject {
        std::unique_ptr<ModalWatcher> watcher;
        bool done = false;
    };
    auto* shot = new OneShot;
    shot->watcher = std::make_unique<ModalWatcher>(
        [shot, takes = std::move(takes)](QWidget& w) {
            if (!shot->done && takes(w)) {
                shot->done = true;
                shot->deleteLater();
            }
            return true;
        },
        10);
    QTimer::singleShot(timeoutMs, shot, [shot] { shot->deleteLater(); });
}

MessageWatcher::MessageWatcher(Find find, int intervalMs)
    : m_modal(
        [this](QWidget& w) {
            if (auto* box = qobject_cast<QMessageBox*>(&w); box && box->isVisible())
                answer(box);
            return true;
        },
        intervalMs)
{
    if (find == Find::ActiveModal)
        return;
    // Boxes that are not the active modal window: only the run's own.
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible() && !Prompt::isPrompt(*box))
                answer(box);
        }
    });
    m_timer.start();
}

void MessageWatcher::answer(QMessageBox* box)
{
    texts << box->text();
    titles << box->windowTitle();
    icons << box->icon();
    buttons << box->standardButtons();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}

void GuiCase::startTest(Quotes quotes)
{
    m_config = std::make_unique<TempConfig>();
    if (quotes == Quotes::LocalService) {
        m_service = std::make_unique<QuoteService>();
        QVERIFY(m_service->start());
    }
}

void GuiCase::startCase()
{
    resetAppState();
    QFile::remove(m_config->settingsFile());
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    if (m_service) {
        m_config->pointServicesAt(m_service->host(), 10);
        QVERIFY(QDir().mkdir(downloadDir()));
    }
}

void GuiCase::endCase()
{
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    m_tmp.reset();
}

QString GuiCase::saved(const QString& name) const
{
    QSettings s(m_config->settingsFile(), QSettings::IniFormat);
    return s.value(kSettingsSection + QLatin1Char('/') + name).toString();
}

void GuiCase::store(const QString& name, const QString& value)
{
    m_config->set(kSettingsSection, name, value);
}

TestWindow::TestWindow()
    : m_window(new frmMain)
{
    frmMain& w = *m_window;
    FileChoices answers;
    answers.openList = [this] {
        ++openAsked;
        return openAnswer;
    };
    answers.newList = [this] {
        ++saveAsked;
        return saveAnswer;
    };
    answers.importFile = [this] {
        ++importAsked;
        return importAnswer;
    };
    answers.importedListName = [this](const QString& proposed) {
        proposals << proposed;
        return targetAnswers.isEmpty() ? QString() : targetAnswers.takeFirst();
    };
    w.setFileChoices(std::move(answers));
    w.setClock([this] { return clock.isValid() ? clock : QDateTime::currentDateTime(); });

    Label1 = named<QLabel>(w, "Label1");
    txtTicker = named<QLineEdit>(w, "txtTicker");
    cmdAdd = named<QPushButton>(w, "cmdAdd");
    cmdDelete = named<QPushButton>(w, "cmdDelete");
    DBGrid1 = named<QTableView>(w, "DBGrid1");
    chkSingleStock = named<QCheckBox>(w, "chkSingleStock");
    Frame1 = named<QGroupBox>(w, "Frame1");
    txtDownloadDir = named<QLineEdit>(w, "txtDownloadDir");
    cmdBrowse = named<QPushButton>(w, "cmdBrowse");
    Frame2 = named<QGroupBox>(w, "Frame2");
    Label2 = named<QLabel>(w, "Label2");
    cbxStartMonth = named<QComboBox>(w, "cbxStartMonth");
    cbxStartDay = named<QComboBox>(w, "cbxStartDay");
    cbxStartYear = named<QComboBox>(w, "cbxStartYear");
    Label3 = named<QLabel>(w, "Label3");
    cbxEndMonth = named<QComboBox>(w, "cbxEndMonth");
    cbxEndDay = named<QComboBox>(w, "cbxEndDay");
    cbxEndYear = named<QComboBox>(w, "cbxEndYear");
    optDaily = named<QRadioButton>(w, "optDaily");
    optWeekly = named<QRadioButton>(w, "optWeekly");
    optMonthly = named<QRadioButton>(w, "optMonthly");
    cmdGetUpdate = named<QPushButton>(w, "cmdGetUpdate");
    Label4 = named<QLabel>(w, "Label4");
    ProgressBar1 = named<QProgressBar>(w, "ProgressBar1");
    tbToolBar = named<QToolBar>(w, "tbToolBar");
    sbStatusBar = named<QStatusBar>(w, "sbStatusBar");
    pnlStatus = named<QLabel>(w, "Status");
    pnlDataSource = named<QLabel>(w, "DataSource");
    pnlADT = named<QLabel>(w, "ADT");
    Timer1 = named<QTimer>(w, "Timer1");

    mnuCreateNewList = named<QAction>(w, "mnuCreateNewList");
    mnuOpenList = named<QAction>(w, "mnuOpenList");
    mnuImportList = named<QAction>(w, "mnuImportList");
    mnuLaunch = named<QAction>(w, "mnuLaunch");
    mnuFileExit = named<QAction>(w, "mnuFileExit");
    mnuViewFile = named<QAction>(w, "mnuViewFile");
    mnuViewErrorLog = named<QAction>(w, "mnuViewErrorLog");
    mnuViewChart = named<QAction>(w, "mnuViewChart");
    mnuAnalyzeStock = named<QAction>(w, "mnuAnalyzeStock");
    mnuViewToolbar = named<QAction>(w, "mnuViewToolbar");
    mnuViewStatusBar = named<QAction>(w, "mnuViewStatusBar");
    mnuViewOptions = named<QAction>(w, "mnuViewOptions");
    mnuHelpContents = named<QAction>(w, "mnuHelpContents");
    mnuHelpAbout = named<QAction>(w, "mnuHelpAbout");
}

TestWindow::~TestWindow()
{
    destroyWindow();
}

void TestWindow::destroyWindow()
{
    delete m_window.data();
}

void TestWindow::tickAt(const QDateTime& moment)
{
    clock = moment;
    // As the timer's own second passing: the window reacts to its signal.
    QMetaObject::invokeMethod(Timer1, "timeout", Qt::DirectConnection);
}

QStringList gridSymbols(const frmMain& w)
{
    QStringList result;
    const QAbstractItemModel* model = named<QTableView>(w, "DBGrid1")->model();
    for (int r = 0; r < model->rowCount(); ++r)
        result << model->index(r, 0).data().toString();
    return result;
}

QWidget* modalWindow()
{
    return QApplication::activeModalWidget();
}

void showAndActivate(QWidget& w)
{
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

QString showWithList(TestWindow& w, const QString& path, const QStringList& symbols)
{
    QFile::remove(path);
    if (!makeList(path, symbols) || !w->openList(path))
        return {};
    showAndActivate(*w);
    return path;
}

void prepareWeeklyYahooRun(TestWindow& w, const QString& listPath, const QStringList& symbols,
                           const QString& downloadDir, const QStringList& endDate, Show show)
{
    QVERIFY(makeList(listPath, symbols));
    QVERIFY(w->openList(listPath));
    w.txtDownloadDir->setText(downloadDir);
    w.cbxStartMonth->setCurrentText(QStringLiteral("Jan"));
    w.cbxStartDay->setCurrentText(QStringLiteral("01"));
    w.cbxStartYear->setCurrentText(QStringLiteral("2003"));
    w.cbxEndMonth->setCurrentText(endDate.value(0));
    w.cbxEndDay->setCurrentText(endDate.value(1));
    w.cbxEndYear->setCurrentText(endDate.value(2));
    w.optWeekly->setChecked(true);
    Settings& s = appState().settings;
    s.dataSource = QStringLiteral("Yahoo");
    s.dataFormat = QStringLiteral("5");
    s.fileExtension = QStringLiteral(".csv");
    s.activeAlerts = false;
    s.playSound = false;
    s.deleteExistingFiles = false;
    s.dateStamp = false;
    s.convertToMS = false;
    // The bar starts at 0; from its empty state every value a run sets is
    // seen, the first 0 included.
    w.ProgressBar1->reset();
    if (show == Show::Active) {
        showAndActivate(*w);
    } else {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace kestrion::test
