#pragma once

#include "lists/access_file.h"

#include <QDialog>
#include <QVector>

class QComboBox;
class QDialogButtonBox;
class QLabel;

namespace kestrion {

// Asks which table and which of its text columns hold the tickers of an
// Access file that has no "Table1" with a "Symbol" column. OK is only
// possible on a table that has a text column.
class dlgAccessColumn final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(dlgAccessColumn)
public:
    dlgAccessColumn(const QString& accessPath, const QVector<AccessTable>& tables, QWidget* parent = nullptr);

    // The table and column chosen; meaningful after the dialog was accepted.
    AccessColumnRef choice() const;

private:
    void showColumnsOf(int tableIndex);

    QVector<AccessTable> m_tables;
    QComboBox* m_table = nullptr;
    QComboBox* m_column = nullptr;
    QLabel* m_note = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

} // namespace kestrion
