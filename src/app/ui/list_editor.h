#pragma once

#include "app/ui/file_choices.h"
#include "lists/ticker_list.h"
#include "lists/ticker_list_model.h"

#include <QObject>
#include <QStringList>

class QLineEdit;
class QTableView;
class QWidget;

namespace kestrion {

// The open ticker list as the main window shows and edits it: the grid's
// rows and current row, Add and Delete, and the list commands of the File
// menu. Messages come over the window, under its title.
class ListEditor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListEditor)
public:
    // The grid shows the list's rows; Add stores the ticker box's text.
    ListEditor(QWidget& window, QTableView& grid, QLineEdit& tickerBox);
    ~ListEditor() override;

    void setFileChoices(FileChoices choices) { m_choices = std::move(choices); }

    TickerList& list() { return m_list; }
    const TickerList& list() const { return m_list; }
    // Opens a list file into the grid, the first row current. On failure no
    // list is open and listMessage() names the file and the reason.
    bool openList(const QString& path);

    // The grid's current row, in stored order; -1 when there is none.
    int currentRow() const;
    // The row id of the current row; -1 when there is none.
    qint64 currentRowId() const;
    void setCurrentRow(int row);
    int rowCount() const { return m_model.rowCount(); }
    // The symbol of a grid row; empty outside the rows.
    QString symbol(int row) const { return m_model.symbol(row); }
    // Re-reads the rows; the current row stays on the same list row where it
    // still exists, otherwise on the same position.
    void refresh();

    // The commands.
    void add();
    void deleteCurrent();
    void createNewList();
    void openChosenList();
    void importIntoList();

Q_SIGNALS:
    // A list could not be opened; the text says which and why.
    void listMessage(const QString& text);

private:
    // Open List on an Access file: offers to import its tickers into a new
    // list and opens that list.
    void importAccessAsNewList(const QString& accessPath);
    void importAccessFile(const QString& path);
    // The lines of a text file, or the symbols of another list (then
    // fromList is set); false after telling the user why it could not be read.
    bool readImportFile(const QString& path, QStringList& lines, bool* fromList);
    void warn(const QString& text);
    void showNoListMessage();
    void showDataError();

    QWidget& m_window;
    QTableView& m_grid;
    QLineEdit& m_tickerBox;
    FileChoices m_choices;
    TickerList m_list;
    TickerListModel m_model;
};

} // namespace kestrion
