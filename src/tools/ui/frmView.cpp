#include "tools/ui/frmView.h"

#include "core/app_state.h"
#include "formats/error_log.h"
#include "platform/ui/prompt.h"
#include "tools/price_series.h"
#include "tools/ui/frmChart.h"
#include "tools/window_rules.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTime>
#include <QTimer>
#include <QToolBar>

namespace kestrion {

namespace {

const QString kTitle = QStringLiteral("View/Edit File");
const QString kMessageTitle = QStringLiteral("Kestrion");
// The pattern matches every name: data files often have no extension.
const QString kFileFilter = QStringLiteral("All Files (*)");

// A file goes into the editor in pieces of about this many bytes, each
// ending at a line end, with the event loop running in between; a piece
// takes well under a tenth of a second to decode and lay out.
constexpr qsizetype kPieceBytes = 256 * 1024;

// Design sizes in twips: client area, toolbar, status bar.
constexpr int kDesignClientWidth = 6495;
constexpr int kDesignClientHeight = 6165;
constexpr int kToolBarHeight = 360;
constexpr int kStatusBarHeight = 255;

QString defaultOpenChooser(QWidget* parent, const QString& lastFileName)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), lastFileName, kFileFilter);
}

QString defaultSaveChooser(QWidget* parent, const QString& lastFileName)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), lastFileName, kFileFilter);
}

bool defaultPrinterChooser(QWidget* parent, QPrinter& printer, bool hasSelection)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, hasSelection);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback, QStyle* style)
{
    const QIcon fallbackIcon = fallback == QStyle::SP_CustomBase ? QIcon() : style->standardIcon(fallback);
    return QIcon::fromTheme(QString::fromLatin1(name), fallbackIcon);
}

} // namespace

frmView::frmView(const QString& path, QWidget* parent)
    : QDialog(parent)
    , m_chooseOpenFile(defaultOpenChooser)
    , m_chooseSaveFile(defaultSaveChooser)
    , m_choosePrinter(defaultPrinterChooser)
{
    setObjectName(QStringLiteral("frmView"));
    setWindowTitle(kTitle);
    setSizeGripEnabled(true);

    buildMenus();
    buildToolBar();

    rtbUserArea = new QPlainTextEdit(this);
    rtbUserArea->setObjectName(QStringLiteral("rtbUserArea"));
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(10);
    rtbUserArea->setFont(font);
    // Long data lines are easier to read unwrapped, like the columns they are.
    rtbUserArea->setLineWrapMode(QPlainTextEdit::NoWrap);

    buildStatusBar();

    m_loadTimer = new QTimer(this);
    m_loadTimer->setInterval(0);
    connect(m_loadTimer, &QTimer::timeout, this, &frmView::insertNextPiece);

    resize(twipsToPixels(kDesignClientWidth), twipsToPixels(kDesignClientHeight) + menuBar->sizeHint().height());
    applyResizeRule();

    loadFile(path, false);
}

frmView::~frmView()
{
    // Chart windows opened from here belong to this modal dialog while it
    // runs (so they take input); they outlive it with the owner instead.
    for (frmChart* chart : findChildren<frmChart*>(Qt::FindDirectChildrenOnly)) {
        chart->setParent(parentWidget(), Qt::Window);
        chart->show();
    }
}

void frmView::buildMenus()
{
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);

    auto item = [this](QMenu* menu, const char* name, const QString& text, void (frmView::*slot)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuOpen = item(mnuFile, "mnuOpen", QStringLiteral("&Open"), &frmView::open);
    mnuPrint = item(mnuFile, "mnuPrint", QStringLiteral("&Print"), &frmView::print);
    mnuBar1 = mnuFile->addSeparator();
    mnuBar1->setObjectName(QStringLiteral("mnuBar1"));
    mnuSaveAs = item(mnuFile, "mnuSaveAs", QStringLiteral("Save &As..."), &frmView::saveAs);
    mnuChart = item(mnuFile, "mnuChart", QStringLiteral("C&hart"), &frmView::chart);
    mnuChart->setEnabled(false);
    mnuBar2 = mnuFile->addSeparator();
    mnuBar2->setObjectName(QStringLiteral("mnuBar2"));
    mnuClose = mnuFile->addAction(QStringLiteral("C&lose"));
    mnuClose->setObjectName(QStringLiteral("mnuClose"));
    connect(mnuClose, &QAction::triggered, this, &QDialog::close);

    mnuEdit = menuBar->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuCopy = item(mnuEdit, "mnuCopy", QStringLiteral("&Copy"), &frmView::copy);
    mnuCut = item(mnuEdit, "mnuCut", QStringLiteral("Cu&t"), &frmView::cut);
    mnuPaste = item(mnuEdit, "mnuPaste", QStringLiteral("&Paste"), &frmView::paste);
    mnuDelete = item(mnuEdit, "mnuDelete", QStringLiteral("&Delete"), &frmView::deleteSelection);
}

void frmView::buildToolBar()
{
    tbToolBar = new QToolBar(this);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setIconSize(QSize(16, 16));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);

    struct Button
    {
        const char* key;
        const char* toolTip;
        const char* iconName;
        QStyle::StandardPixmap fallback;
    };
    const Button buttons[] = {
        {"Open", "Open", "document-open", QStyle::SP_DialogOpenButton},
        {"SaveAs", "Save", "document-save-as", QStyle::SP_DialogSaveButton},
        {"Print", "Print", "document-print", QStyle::SP_CustomBase},
        {nullptr, nullptr, nullptr, QStyle::SP_CustomBase},
        {"Cut", "Cut", "edit-cut", QStyle::SP_CustomBase},
        {"Copy", "Copy", "edit-copy", QStyle::SP_CustomBase},
        {"Paste", "Paste", "edit-paste", QStyle::SP_CustomBase},
    };
    for (const Button& b : buttons) {
        if (!b.key) {
            tbToolBar->addSeparator();
            continue;
        }
        // Without an icon the button shows its text instead.
        QAction* action = tbToolBar->addAction(themeIcon(b.iconName, b.fallback, style()),
                                               QString::fromLatin1(b.toolTip));
        action->setObjectName(QStringLiteral("tb") + QString::fromLatin1(b.key));
        action->setData(QString::fromLatin1(b.key));
        action->setToolTip(QString::fromLatin1(b.toolTip));
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction* action) { buttonClick(action->data().toString()); });
}

void frmView::buildStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);

    pnlStatus = new QLabel(QStringLiteral("Status"), StatusBar1);
    pnlStatus->setObjectName(QStringLiteral("Status"));
    pnlStatus->setToolTip(QStringLiteral("Status Bar"));
    pnlDate = new QLabel(StatusBar1);
    pnlDate->setObjectName(QStringLiteral("Date"));
    pnlTime = new QLabel(StatusBar1);
    pnlTime->setObjectName(QStringLiteral("Time"));
    StatusBar1->addWidget(pnlStatus, 1);
    StatusBar1->addPermanentWidget(pnlDate);
    StatusBar1->addPermanentWidget(pnlTime);

    m_loadProgress = new QProgressBar(StatusBar1);
    m_loadProgress->setObjectName(QStringLiteral("loadProgress"));
    m_loadProgress->setRange(0, 100);
    m_loadProgress->setMaximumWidth(120);
    m_loadProgress->setFormat(QStringLiteral("Loading %p%"));
    m_loadProgress->hide();
    StatusBar1->addPermanentWidget(m_loadProgress);

    auto tick = [this] {
        const QLocale locale;
        pnlDate->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
        pnlTime->setText(locale.toString(QTime::currentTime(), QLocale::ShortFormat));
    };
    tick();
    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, tick);
    m_clock->start();
}

void frmView::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    applyResizeRule();
}

void frmView::applyResizeRule()
{
    // The menu bar sits outside the client area the layout figures are for.
    const int menuHeight = menuBar->sizeHint().height();
    const int clientWidth = width();
    const int clientHeight = qMax(0, height() - menuHeight);
    menuBar->setGeometry(0, 0, clientWidth, menuHeight);

    const int toolBarHeight = twipsToPixels(kToolBarHeight);
    tbToolBar->setGeometry(0, menuHeight, clientWidth, toolBarHeight);

    rtbUserArea->move(0, menuHeight + toolBarHeight);
    rtbUserArea->resize(clientWidth, viewerTextHeight(frameGeometry().height(), clientHeight));

    const int statusHeight = qMax(twipsToPixels(kStatusBarHeight), StatusBar1->sizeHint().height());
    StatusBar1->setGeometry(0, height() - statusHeight, clientWidth, statusHeight);
    StatusBar1->raise();
}

void frmView::closeEvent(QCloseEvent* event)
{
    m_loadTimer->stop();
    m_loading = false;
    m_reader.reset();
    QDialog::closeEvent(event);
}

void frmView::buttonClick(const QString& key)
{
    if (key == QLatin1String("Open"))
        open();
    else if (key == QLatin1String("SaveAs"))
        saveAs();
    else if (key == QLatin1String("Print"))
        print();
    else if (key == QLatin1String("Cut"))
        cut();
    else if (key == QLatin1String("Copy"))
        copy();
    else if (key == QLatin1String("Paste"))
        paste();
}

void frmView::showFailure(const QString& what, const QString& path, const QString& reason)
{
    Prompt::ask(this, QMessageBox::Warning, kMessageTitle,
                QStringLiteral("%1\n\n%2\n\n%3").arg(what, QDir::toNativeSeparators(path), reason));
}

bool frmView::loadFile(const QString& path, bool report)
{
    auto reader = std::make_unique<TextFileReader>();
    QString error;
    if (!reader->open(path, &error)) {
        if (report)
            showFailure(QStringLiteral("The file could not be opened."), path, error);
        else if (!m_loading)
            rtbUserArea->clear();
        return false;
    }

    // A newer load replaces one still going on.
    m_loadTimer->stop();
    m_reader = std::move(reader);
    m_shownPath = path;
    mnuChart->setEnabled(false);

    if (m_reader->size() <= kPieceBytes) {
        rtbUserArea->setPlainText(m_reader->nextPiece(kPieceBytes));
        m_encoding = m_reader->encoding();
        m_crlf = m_reader->crlf();
        m_reader.reset();
        finishLoading();
        return true;
    }

    // Large file: the first piece now, the rest from the event loop. The
    // text is read-only and cannot be saved or printed until it is whole.
    m_loading = true;
    m_firstPiece = true;
    setCommandsEnabled(false);
    rtbUserArea->setReadOnly(true);
    rtbUserArea->setUndoRedoEnabled(false);
    m_loadProgress->setValue(0);
    m_loadProgress->show();
    insertNextPiece();
    if (m_loading)
        m_loadTimer->start();
    return true;
}

void frmView::insertNextPiece()
{
    if (!m_loading || !m_reader)
        return;
    bool startedOver = false;
    const QString piece = m_reader->nextPiece(kPieceBytes, &startedOver);
    if (m_firstPiece || startedOver) {
        rtbUserArea->setPlainText(piece);
        m_firstPiece = false;
    } else {
        QTextCursor cursor(rtbUserArea->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(piece);
    }
    m_loadProgress->setValue(int(qint64(m_reader->position()) * 100 / qMax<qint64>(1, m_reader->size())));

    if (m_reader->atEnd()) {
        m_loadTimer->stop();
        m_encoding = m_reader->encoding();
        m_crlf = m_reader->crlf();
        m_reader.reset();
        finishLoading();
    }
}

void frmView::finishLoading()
{
    const bool wasLoading = m_loading;
    m_loading = false;
    if (wasLoading) {
        rtbUserArea->setUndoRedoEnabled(true);
        rtbUserArea->setReadOnly(false);
        m_loadProgress->hide();
        setCommandsEnabled(true);
    }
    rtbUserArea->moveCursor(QTextCursor::Start);
    const QTextBlock first = rtbUserArea->document()->firstBlock();
    mnuChart->setEnabled(first.isValid() && isPriceTableHeader(first.text()));
    Q_EMIT loadFinished();
}

void frmView::setCommandsEnabled(bool enabled)
{
    for (QAction* action : {mnuSaveAs, mnuPrint, mnuCut, mnuPaste, mnuDelete})
        action->setEnabled(enabled);
    for (QAction* action : tbToolBar->actions()) {
        const QString key = action->data().toString();
        if (key == QLatin1String("SaveAs") || key == QLatin1String("Print") || key == QLatin1String("Cut")
            || key == QLatin1String("Paste"))
            action->setEnabled(enabled);
    }
}

QString frmView::text() const
{
    QString raw = rtbUserArea->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw;
}

QString frmView::selectedText() const
{
    QString selected = rtbUserArea->textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return selected;
}

void frmView::open()
{
    const QString path = m_chooseOpenFile(this, m_lastFileName);
    if (path.isEmpty())
        return;
    m_lastFileName = path;
    // The title changes only when the file could be read, so the window
    // never names a file whose text it does not show.
    if (loadFile(path, true))
        setWindowTitle(path);
}

void frmView::saveAs()
{
    if (m_loading)
        return;
    const QString path = m_chooseSaveFile(this, m_lastFileName);
    if (path.isEmpty())
        return;
    m_lastFileName = path;
    QString error;
    if (!writeFileReplacing(path, encodeText(text(), m_encoding, m_crlf), &error))
        showFailure(QStringLiteral("The file could not be saved; any file already there is unchanged."), path, error);
}

void frmView::print()
{
    if (m_loading)
        return;
    const bool hasSelection = rtbUserArea->textCursor().hasSelection();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrintRange(hasSelection ? QPrinter::Selection : QPrinter::AllPages);
    if (!m_choosePrinter(this, printer, hasSelection))
        return;

    const bool selectionOnly = hasSelection && printer.printRange() == QPrinter::Selection;
    QTextDocument document;
    document.setDefaultFont(rtbUserArea->font());
    document.setPlainText(selectionOnly ? selectedText() : text());
    document.print(&printer);
}

void frmView::chart()
{
    // The chart reads the file as stored; edits made here are not charted.
    if (!m_loading && mnuChart->isEnabled())
        openChartWindow(this, m_shownPath);
}

void frmView::copy()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    const QString selected = selectedText();
    if (!selected.isEmpty())
        clipboard->setText(selected);
}

void frmView::cut()
{
    if (rtbUserArea->isReadOnly())
        return;
    copy();
    QTextCursor cursor = rtbUserArea->textCursor();
    cursor.removeSelectedText();
    rtbUserArea->setTextCursor(cursor);
}

void frmView::paste()
{
    if (rtbUserArea->isReadOnly())
        return;
    rtbUserArea->insertPlainText(QGuiApplication::clipboard()->text());
}

void frmView::deleteSelection()
{
    if (rtbUserArea->isReadOnly())
        return;
    QTextCursor cursor = rtbUserArea->textCursor();
    cursor.removeSelectedText();
    rtbUserArea->setTextCursor(cursor);
}

void showFileViewer(QWidget* owner, const QString& path, bool titleIsPath)
{
    appState().strViewFile = path;
    frmView viewer(path, owner);
    if (titleIsPath)
        viewer.setWindowTitle(path);
    viewer.exec();
}

bool choosePrinter(QWidget* parent, QPrinter& printer, bool hasSelection)
{
    return defaultPrinterChooser(parent, printer, hasSelection);
}

void viewFile(QWidget* owner, const QString& downloadDir)
{
    const QString path = QFileDialog::getOpenFileName(owner, QStringLiteral("View File"), downloadDir, kFileFilter);
    if (path.isEmpty())
        return;
    showFileViewer(owner, path, true);
}

void viewErrorLog(QWidget* owner, const QString& downloadDir)
{
    showFileViewer(owner, ErrorLog::path(downloadDir), false);
}

} // namespace kestrion
