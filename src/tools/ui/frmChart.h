#pragma once

#include "tools/price_series.h"

#include <QFutureWatcher>
#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QLabel;
class QListWidget;
class QPrinter;
class QSplitter;
class QToolBar;

namespace kestrion {

class ChartView;

// The chart window: one price series from a data file, or the securities
// of a MetaStock folder to choose from and the chosen one charted. Reading
// happens on a worker thread; the window stays usable meanwhile. A file that
// cannot be read is named with the reason in a message, and the chart
// shown before stays as it was.
class frmChart : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmChart(QWidget* parent = nullptr);
    ~frmChart() override;

    // Starts reading a data file or a MetaStock folder. False (after the
    // message) when the path is neither; the rest is reported by
    // loadFinished().
    // In a MetaStock folder the security of `symbol` is charted first.
    bool openPath(const QString& path, const QString& symbol = QString());
    // Charts entry `row` of the source open now (a MetaStock security).
    void chartEntry(int row);
    bool isLoading() const { return m_watcher.isRunning(); }

    ChartView* chartView() const { return m_view; }
    QListWidget* securityList() const { return m_list; }

    void saveAsPng();
    void print();
    void openFile();

    using FileChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
    using PrinterChooser = std::function<bool(QWidget* parent, QPrinter& printer, bool hasSelection)>;
    // Seams for the dialogs, so tests drive the real commands.
    void setSaveFileChooser(FileChooser chooser) { m_chooseSaveFile = std::move(chooser); }
    void setOpenFileChooser(FileChooser chooser) { m_chooseOpenFile = std::move(chooser); }
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }

Q_SIGNALS:
    // A read started by openPath() or chartEntry() ended; with ok false the
    // failure has been shown.
    void loadFinished(bool ok);

private:
    void buildActions();
    void readFinished();
    void applyOptions();
    void updateTitle();
    void showFailure(const QString& what, const QString& path, const QString& reason);

    std::shared_ptr<const PriceSource> m_source;
    QString m_loadingName;
    QFutureWatcher<SeriesLoad> m_watcher;
    int m_pendingRow = -1;
    int m_shownRow = -1;

    ChartView* m_view = nullptr;
    QListWidget* m_list = nullptr;
    QSplitter* m_splitter = nullptr;
    QLabel* m_readout = nullptr;
    QLabel* m_status = nullptr;
    QActionGroup* m_styles = nullptr;
    QAction* m_candles = nullptr;
    QAction* m_bars = nullptr;
    QAction* m_line = nullptr;
    QAction* m_log = nullptr;
    QAction* m_adjusted = nullptr;
    QAction* m_averages[3] = {nullptr, nullptr, nullptr};

    FileChooser m_chooseSaveFile;
    FileChooser m_chooseOpenFile;
    PrinterChooser m_choosePrinter;
    QString m_lastDir;
};

// Opens a chart window for the path (a data file or a MetaStock folder),
// closing itself again with a message when nothing in it can be charted.
frmChart* openChartWindow(QWidget* owner, const QString& path, const QString& symbol = QString());

// A double-click on a ticker: charts its data file (or its security in the
// MetaStock folder of the download directory), or says which file was
// looked for.
void chartTicker(QWidget* owner, const QString& dataFile, const QString& downloadDir, const QString& symbol);

// View > Chart File...: a file dialog starting in the download directory;
// a MetaStock index file (or a folder holding one) opens the folder's list.
void chartFile(QWidget* owner, const QString& downloadDir);

} // namespace kestrion
