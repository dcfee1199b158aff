#include "lists/ui/access_import_ui.h"

#include "lists/access_import.h"
#include "lists/ui/dlgAccessColumn.h"
#include "platform/ui/prompt.h"

#include <algorithm>

#include <QDir>
#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrion {

namespace {

// A read that ends this quickly shows no progress dialog at all; meanwhile
// the window keeps painting but takes no input, as during any short command.
constexpr int kQuietMs = 400;

// Runs work on a worker thread. Nothing when the user cancelled: the worker
// then finishes on its own and its result is dropped.
template <typename T> std::optional<T> runInBackground(QWidget* parent, const QString& label, std::function<T()> work)
{
    QFuture<T> future = QtConcurrent::run(std::move(work));
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished()) {
        QTimer::singleShot(kQuietMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!future.isFinished()) {
        QProgressDialog progress(label, QStringLiteral("Cancel"), 0, 0, parent);
        progress.setObjectName(QStringLiteral("dlgAccessProgress"));
        progress.setWindowTitle(parent ? parent->windowTitle() : QString());
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
        progress.show();
        if (!future.isFinished())
            loop.exec();
        if (!future.isFinished())
            return std::nullopt;
    }
    return future.result();
}

QString title(const QWidget* parent)
{
    return parent ? parent->windowTitle() : QString();
}

} // namespace

AccessImportUi::AccessImportUi(QWidget* parent, const QString& accessPath)
    : m_parent(parent)
    , m_path(accessPath)
{
}

bool AccessImportUi::confirmNewList() const
{
    const auto answer = Prompt::ask(
        m_parent, QMessageBox::Question, title(m_parent),
        QStringLiteral("\"%1\" is an Access database, not a Kestrion list.\n\n"
                       "Import its tickers into a new Kestrion list? The Access file itself is not changed.")
            .arg(QDir::toNativeSeparators(m_path)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return answer == QMessageBox::Yes;
}

void AccessImportUi::showReadError(const QString& why) const
{
    QString text
        = QStringLiteral("The Access file \"%1\" could not be read: %2.").arg(QDir::toNativeSeparators(m_path), why);
    if (!m_outcome.isEmpty())
        text += QStringLiteral("\n\n") + m_outcome;
    Prompt::ask(m_parent, QMessageBox::Warning, title(m_parent), text);
}

std::optional<AccessColumnRef> AccessImportUi::chooseColumn() const
{
    const QString path = m_path;
    const auto read = runInBackground<AccessTablesRead>(
        m_parent, QStringLiteral("Reading the tables of \"%1\"...").arg(QDir::toNativeSeparators(path)),
        [path] { return AccessTablesRead::from(path); });
    if (!read)
        return std::nullopt;
    if (!read->ok) {
        showReadError(read->error);
        return std::nullopt;
    }
    const AccessColumnRef standard = defaultAccessColumn(read->tables);
    if (!standard.table.isEmpty())
        return standard;
    const bool anyText = std::any_of(read->tables.cbegin(), read->tables.cend(),
                                     [](const AccessTable& t) { return !t.textColumns.isEmpty(); });
    if (!anyText) {
        showReadError(QStringLiteral("it has no table with a text column, so it holds no tickers"));
        return std::nullopt;
    }
    dlgAccessColumn dialog(m_path, read->tables, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

std::optional<ImportValues> AccessImportUi::readValues(const AccessColumnRef& source) const
{
    const QString path = m_path;
    const auto read = runInBackground<AccessValuesRead>(
        m_parent, QStringLiteral("Reading the tickers of \"%1\"...").arg(QDir::toNativeSeparators(path)),
        [path, source] { return AccessValuesRead::from(path, source); });
    if (!read)
        return std::nullopt;
    if (!read->ok) {
        showReadError(read->error);
        return std::nullopt;
    }
    return read->values;
}

std::optional<ImportValues> AccessImportUi::chooseAndRead() const
{
    const std::optional<AccessColumnRef> source = chooseColumn();
    if (!source)
        return std::nullopt;
    return readValues(*source);
}

void AccessImportUi::reportSkipped(const ImportValues& values) const
{
    if (values.skipped() == 0)
        return;
    Prompt::ask(m_parent, QMessageBox::Information, title(m_parent),
                QStringLiteral("%1 of the %2 values in \"%3\" were imported as tickers.\n\n%4")
                    .arg(values.symbols.size())
                    .arg(values.symbols.size() + values.skipped())
                    .arg(QDir::toNativeSeparators(m_path), values.skippedSummary()));
}

} // namespace kestrion
