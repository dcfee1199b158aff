#include "app/ui/list_editor.h"

#include "core/app_state.h"
#include "lists/access_import.h"
#include "lists/list_import.h"
#include "lists/ui/access_import_ui.h"
#include "platform/ui/prompt.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>

namespace kestrion {

namespace {

const QString kDataError = QStringLiteral("Data error... Please try again.");

QString notAddedText(const QString& path, const QString& why)
{
    return QStringLiteral("The symbols of \"%1\" could not be added to the list: %2.\n\n"
                          "The list was not changed.")
        .arg(QDir::toNativeSeparators(path), why);
}

} // namespace

ListEditor::ListEditor(QWidget& window, QTableView& grid, QLineEdit& tickerBox)
    : m_window(window)
    , m_grid(grid)
    , m_tickerBox(tickerBox)
    , m_choices(FileChoices::dialogs(&window))
    , m_model(m_list)
{
    m_grid.setModel(&m_model);
}

ListEditor::~ListEditor() = default;

bool ListEditor::openList(const QString& path)
{
    QString why;
    const bool ok = m_list.open(path, &why);
    m_model.clear();
    refresh();
    if (ok) {
        setCurrentRow(m_model.rowCount() == 0 ? -1 : 0);
    } else {
        Q_EMIT listMessage(QStringLiteral("The ticker list \"%1\" could not be opened: %2.\n\n"
                                          "No list is open. Choose one with File > Open List.")
                               .arg(QDir::toNativeSeparators(path), why));
    }
    return ok;
}

int ListEditor::currentRow() const
{
    const QModelIndex current = m_grid.selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

qint64 ListEditor::currentRowId() const
{
    return m_model.rowId(currentRow());
}

void ListEditor::setCurrentRow(int row)
{
    QItemSelectionModel* selection = m_grid.selectionModel();
    if (row < 0 || row >= m_model.rowCount()) {
        selection->clear();
        return;
    }
    const QModelIndex index = m_model.index(row, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_grid.scrollTo(index);
}

void ListEditor::refresh()
{
    if (const std::optional<int> row = m_model.refresh(currentRow()))
        setCurrentRow(*row);
}

void ListEditor::warn(const QString& text)
{
    Prompt::ask(&m_window, QMessageBox::Warning, m_window.windowTitle(), text);
}

void ListEditor::showNoListMessage()
{
    warn(QStringLiteral("No ticker list is open.\n\n"
                        "Open one with File > Open List, or make one with File > Create New List."));
}

void ListEditor::showDataError()
{
    warn(kDataError);
}

void ListEditor::add()
{
    if (!m_list.isOpen()) {
        showNoListMessage();
        return;
    }
    // The text goes in as typed (blanks and case kept); a text the list
    // can't hold, or a ticker it has already, is refused with the reason.
    const QString ticker = m_tickerBox.text();
    const TickerList::AddResult added = m_list.addTicker(ticker);
    switch (added.result) {
    case TickerList::WriteResult::Done:
        refresh();
        m_grid.scrollToBottom();
        break;
    case TickerList::WriteResult::Refused:
        warn(added.reason);
        break;
    case TickerList::WriteResult::Failed:
        warn(QStringLiteral("\"%1\" could not be added to the ticker list \"%2\": %3.\n\nThe list was not changed.")
                 .arg(ticker, QDir::toNativeSeparators(m_list.path()), added.reason));
        refresh();
        break;
    }
}

void ListEditor::deleteCurrent()
{
    if (!m_list.isOpen()) {
        showNoListMessage();
        return;
    }
    const qint64 id = currentRowId();
    if (id < 0) {
        // No current row: either the list is empty, or the current row was
        // just deleted and the user has not picked another yet.
        QVector<TickerList::Row> rows;
        if (!m_list.readRows(rows)) {
            showDataError();
            refresh();
        } else if (rows.isEmpty()) {
            warn(QStringLiteral("No data to delete!"));
            refresh();
        }
        return;
    }
    switch (m_list.removeRow(id)) {
    case TickerList::WriteResult::Done:
    case TickerList::WriteResult::Refused: // gone already
        refresh();
        // No row becomes current by itself: a second Delete must not take
        // the next row without the user choosing it.
        setCurrentRow(-1);
        break;
    case TickerList::WriteResult::Failed:
        showDataError();
        refresh();
        break;
    }
}

void ListEditor::createNewList()
{
    const QString chosen = m_choices.newList();
    if (chosen.isEmpty())
        return;
    QString created;
    QString why;
    // Saying nothing when the file exists would look like success.
    if (!TickerList::create(chosen, &created, &why)) {
        warn(QStringLiteral("The ticker list \"%1\" could not be created: %2.")
                 .arg(QDir::toNativeSeparators(created), why));
    }
}

void ListEditor::openChosenList()
{
    const QString chosen = m_choices.openList();
    if (chosen.isEmpty())
        return;
    if (isAccessFile(chosen)) {
        importAccessAsNewList(chosen);
        return;
    }
    appState().settings.databaseName = chosen;
    openList(chosen);
}

void ListEditor::importAccessAsNewList(const QString& accessPath)
{
    AccessImportUi access(&m_window, accessPath);
    access.setOutcomeOnFailure(QStringLiteral("No list was made."));
    if (!access.confirmNewList())
        return;
    const std::optional<ImportValues> values = access.chooseAndRead();
    if (!values)
        return;
    QString proposed = proposedListPathFor(accessPath);
    for (;;) {
        const QString target = m_choices.importedListName(proposed);
        if (target.isEmpty())
            return;
        QString created;
        QString why;
        if (createListWithSymbols(target, values->symbols, &created, &why)) {
            appState().settings.databaseName = created;
            if (openList(created))
                access.reportSkipped(*values);
            return;
        }
        // The tickers are read already: let the user pick another name
        // rather than start over.
        warn(QStringLiteral("The ticker list \"%1\" could not be created: %2.\n\n"
                            "Choose another name, or Cancel to make no list.")
                 .arg(QDir::toNativeSeparators(created), why));
        proposed = created;
    }
}

void ListEditor::importIntoList()
{
    if (!m_list.isOpen()) {
        showNoListMessage();
        return;
    }
    const QString chosen = m_choices.importFile();
    if (chosen.isEmpty())
        return;
    if (isAccessFile(chosen)) {
        importAccessFile(chosen);
        return;
    }
    QStringList lines;
    bool fromList = false;
    if (!readImportFile(chosen, lines, &fromList))
        return;
    // Another list's symbols go in as stored; a text file's lines are sorted.
    const ImportLines sorted = fromList ? ImportLines{lines, {}, {}} : ImportLines::sort(lines);
    // One transaction: either every line the list can hold is added, or
    // nothing is.
    QString why;
    if (m_list.appendAll(sorted.symbols, &why) < 0) {
        warn(notAddedText(chosen, why));
        refresh();
        return;
    }
    refresh();
    // A line that is no symbol is never dropped without a word.
    const QString skipped = sorted.skippedReport();
    if (!skipped.isEmpty())
        Prompt::ask(&m_window, QMessageBox::Information, m_window.windowTitle(), skipped);
}

void ListEditor::importAccessFile(const QString& path)
{
    AccessImportUi access(&m_window, path);
    access.setOutcomeOnFailure(QStringLiteral("The list was not changed."));
    const std::optional<ImportValues> values = access.chooseAndRead();
    if (!values)
        return;
    // One transaction, as for a text file.
    QString why;
    const int added = m_list.appendAll(values->symbols, &why);
    refresh();
    if (added < 0)
        warn(notAddedText(path, why));
    else
        access.reportSkipped(*values);
}

bool ListEditor::readImportFile(const QString& path, QStringList& lines, bool* fromList)
{
    *fromList = false;
    QString why;
    // Another Kestrion list gives its symbols; read as text, its database
    // pages would add fragments of binary data as symbols.
    if (TickerList::isDatabaseFile(path)) {
        TickerList source;
        QVector<TickerList::Row> rows;
        if (!source.open(path, &why) || !source.readRows(rows, &why)) {
            warn(QStringLiteral("The ticker list \"%1\" could not be read: %2.\n\n"
                                "The list was not changed.")
                     .arg(QDir::toNativeSeparators(path), why));
            return false;
        }
        for (const TickerList::Row& row : rows)
            lines << row.symbol;
        *fromList = true;
        return true;
    }
    bool notText = false;
    if (!readImportLines(path, lines, &why, &notText)) {
        const QString text = notText
            ? QStringLiteral("The file \"%1\" is not a list of ticker symbols: %2.\n\nThe list was not changed.")
            : QStringLiteral("The file \"%1\" could not be read: %2.\n\nThe list was not changed.");
        warn(text.arg(QDir::toNativeSeparators(path), why));
        return false;
    }
    return true;
}

} // namespace kestrion
