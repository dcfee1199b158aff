#include "app/ui/file_choices.h"

#include "core/app_state.h"

#include <QDir>
#include <QFileDialog>

namespace kestrion {

namespace {

const QString kListFilter = QStringLiteral("Database Files (*.mdb)");
const QString kOpenFilter = QStringLiteral("Database Files (*.mdb);;Access Databases (*.mdb *.accdb)");
const QString kImportFilter = QStringLiteral(
    "Spreadsheet Files (*.csv);;Access Databases (*.mdb *.accdb);;Database Files (*.mdb)");

} // namespace

FileChoices FileChoices::dialogs(QWidget* parent)
{
    FileChoices c;
    // List dialogs start beside the user's default list: the program's own
    // folder may not be writable once installed.
    c.openList = [parent] {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Open List"), defaultListFolder(), kOpenFilter);
    };
    // No overwrite questions: an existing file is refused anyway.
    c.newList = [parent] {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Create New List"), defaultListFolder(), kListFilter,
                                            nullptr, QFileDialog::DontConfirmOverwrite);
    };
    c.importFile = [parent] {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Import List"), QDir::homePath(), kImportFilter);
    };
    c.importedListName = [parent](const QString& proposed) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Imported List As"), proposed, kListFilter,
                                            nullptr, QFileDialog::DontConfirmOverwrite);
    };
    return c;
}

} // namespace kestrion
