#pragma once

#include "tools/text_file.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPrinter;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolBar;

namespace kestrion {

// The text file viewer and editor: shows one file as plain text and lets the
// user open another, save the text under a name, print it and use the
// clipboard. Edits are not tracked; closing discards them.
class frmView : public QDialog
{
    Q_OBJECT
public:
    // Loads path; a file that is missing or unreadable
    // leaves the text empty without a message (the error log before any
    // failed ticker is the usual case).
    explicit frmView(const QString& path, QWidget* parent = nullptr);
    ~frmView() override;

    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuPrint = nullptr;
    QAction* mnuBar1 = nullptr;
    QAction* mnuSaveAs = nullptr;
    QAction* mnuChart = nullptr; // enabled while the text is a price table
    QAction* mnuBar2 = nullptr;
    QAction* mnuClose = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuCopy = nullptr;
    QAction* mnuCut = nullptr;
    QAction* mnuPaste = nullptr;
    QAction* mnuDelete = nullptr;
    QToolBar* tbToolBar = nullptr;
    QPlainTextEdit* rtbUserArea = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* pnlStatus = nullptr;
    QLabel* pnlDate = nullptr;
    QLabel* pnlTime = nullptr;

    // The operations behind the menu items and toolbar buttons.
    void open();
    void saveAs();
    void print();
    // Opens the chart window on the file shown, when it is a price table.
    void chart();
    void copy();
    void cut();
    void paste();
    void deleteSelection();
    // Runs the toolbar button with this key ("Open", "SaveAs", "Print",
    // "Cut", "Copy", "Paste"); any other key does nothing.
    void buttonClick(const QString& key);

    // Replaces the text with the file's. With report set, a failure shows a
    // message and keeps the current text and title. Large files go in piece
    // by piece with the window staying responsive; see isLoading().
    bool loadFile(const QString& path, bool report);
    bool isLoading() const { return m_loading; }
    // The whole text, "\n" line ends.
    QString text() const;

    // Seams for the dialogs, so that tests drive the real operations.
    // A chooser returns the picked file name, or empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& lastFileName)>;
    // Sets up the printer (the range comes preset to the selection when
    // there is one); false when the user cancelled.
    using PrinterChooser = std::function<bool(QWidget* parent, QPrinter& printer, bool hasSelection)>;
    void setOpenFileChooser(FileChooser chooser) { m_chooseOpenFile = std::move(chooser); }
    void setSaveFileChooser(FileChooser chooser) { m_chooseSaveFile = std::move(chooser); }
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }

    // The file name last used by Open or Save As in this window.
    QString lastFileName() const { return m_lastFileName; }

Q_SIGNALS:
    // A load begun by loadFile() has put its whole text in place.
    void loadFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void applyResizeRule();
    void showFailure(const QString& what, const QString& path, const QString& reason);
    void insertNextPiece();
    void finishLoading();
    void setCommandsEnabled(bool enabled);
    QString selectedText() const;

    FileChooser m_chooseOpenFile;
    FileChooser m_chooseSaveFile;
    PrinterChooser m_choosePrinter;
    QString m_lastFileName;
    QString m_shownPath; // the file whose text is shown

    // How the shown file was stored, so Save As writes it back alike.
    TextFileContent::Encoding m_encoding = TextFileContent::Encoding::Utf8;
    bool m_crlf = false;

    // Piecewise loading of a large file.
    bool m_loading = false;
    std::unique_ptr<TextFileReader> m_reader;
    bool m_firstPiece = false;
    QTimer* m_loadTimer = nullptr;
    QProgressBar* m_loadProgress = nullptr;
    QTimer* m_clock = nullptr;
};

// Shows the viewer modally over the owner for the file. With titleIsPath the
// title is the path (View File); otherwise it stays "View/Edit File".
// Sets appState().strViewFile to the path first.
void showFileViewer(QWidget* owner, const QString& path, bool titleIsPath);

// The print dialog of the viewer, which the chart window prints through as
// well: false when the user cancelled.
bool choosePrinter(QWidget* parent, QPrinter& printer, bool hasSelection);

// View File: lets the user pick any file, starting in the download directory,
// and shows it with its path as the title. Cancelling does nothing.
void viewFile(QWidget* owner, const QString& downloadDir);

// View Error Log: shows the download directory's error log (an empty text
// when there is none yet) under the title "View/Edit File".
void viewErrorLog(QWidget* owner, const QString& downloadDir);

} // namespace kestrion
