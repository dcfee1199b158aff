#include "lists/ui/dlgAccessColumn.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

dlgAccessColumn::dlgAccessColumn(const QString& accessPath, const QVector<AccessTable>& tables, QWidget* parent)
    : QDialog(parent)
    , m_tables(tables)
{
    setObjectName(QStringLiteral("dlgAccessColumn"));
    setWindowTitle(QStringLiteral("Choose the Tickers"));

    auto* intro = new QLabel(QStringLiteral("\"%1\" has no table \"Table1\" with a column \"Symbol\".\n"
                                            "Choose the table and the column that hold the tickers.")
                                 .arg(QFileInfo(accessPath).fileName()),
                             this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setToolTip(QDir::toNativeSeparators(accessPath));

    m_table = new QComboBox(this);
    m_table->setObjectName(QStringLiteral("cbxTable"));
    for (const AccessTable& t : m_tables)
        m_table->addItem(t.name);
    m_column = new QComboBox(this);
    m_column->setObjectName(QStringLiteral("cbxColumn"));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblNote"));

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Table:"), m_table);
    form->addRow(QStringLiteral("&Column:"), m_column);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_note);
    layout->addWidget(m_buttons);

    connect(m_table, &QComboBox::currentIndexChanged, this, &dlgAccessColumn::showColumnsOf);
    // Start on the first table that can give tickers.
    int first = 0;
    for (int i = 0; i < m_tables.size(); ++i) {
        if (!m_tables.at(i).textColumns.isEmpty()) {
            first = i;
            break;
        }
    }
    m_table->setCurrentIndex(first);
    showColumnsOf(first);
}

void dlgAccessColumn::showColumnsOf(int tableIndex)
{
    m_column->clear();
    const bool valid = tableIndex >= 0 && tableIndex < m_tables.size();
    if (valid)
        m_column->addItems(m_tables.at(tableIndex).textColumns);
    const bool usable = m_column->count() > 0;
    m_column->setEnabled(usable);
    m_note->setText(usable ? QString() : QStringLiteral("This table has no text column."));
    m_note->setVisible(!usable);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(usable);
}

AccessColumnRef dlgAccessColumn::choice() const
{
    if (m_column->count() == 0)
        return {};
    return {m_table->currentText(), m_column->currentText()};
}

} // namespace kestrion
