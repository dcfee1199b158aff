#pragma once

#include "lists/access_file.h"
#include "lists/import_values.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace kestrion {

// The steps of bringing tickers in from an Access file that involve the
// user: the question, the choice of table and column, the messages. The file
// is read on a worker thread; when that takes a moment a progress dialog
// with Cancel comes up, so the window never freezes. Messages go over the
// parent, titled with its title, and name the file and the reason.
class AccessImportUi
{
public:
    AccessImportUi(QWidget* parent, const QString& accessPath);

    // Asks whether to import the tickers into a new list; true on Yes.
    bool confirmNewList() const;

    // "Table1" / "Symbol" when the file has them, otherwise the user's choice
    // of table and text column. Nothing when the user cancels or the file
    // can't be read (that was said then).
    std::optional<AccessColumnRef> chooseColumn() const;

    // The column's values sorted for a list. Nothing when the user cancels
    // or the file can't be read (that was said then).
    std::optional<ImportValues> readValues(const AccessColumnRef& source) const;

    // The column to import and its values, one step after the other.
    std::optional<ImportValues> chooseAndRead() const;

    // Says which values the import left out, when it left out any.
    void reportSkipped(const ImportValues& values) const;

    // What a failed step leaves behind, appended to its message.
    void setOutcomeOnFailure(const QString& text) { m_outcome = text; }

private:
    void showReadError(const QString& why) const;

    QWidget* m_parent;
    QString m_path;
    QString m_outcome;
};

} // namespace kestrion
