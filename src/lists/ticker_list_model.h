#pragma once

#include "lists/ticker_list.h"

#include <QAbstractListModel>
#include <QVector>

#include <optional>

namespace kestrion {

// The rows of the open ticker list for a view: one read-only column
// "Symbol", in stored order, duplicates kept. It shows the rows last read;
// refresh() reads them again.
class TickerListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TickerListModel)
public:
    // The list must outlive the model.
    explicit TickerListModel(const TickerList& list, QObject* parent = nullptr);
    ~TickerListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Reads the rows again and answers which row stands where `current`
    // stood: the same list row where it still exists, otherwise the same
    // position (the last row when the list got shorter); without a current
    // row, the first row. -1 when there are no rows. A closed list has no
    // rows. A list that cannot be read just now (another program holds it
    // locked) keeps the rows last read and answers nothing.
    std::optional<int> refresh(int current);
    // Drops every row, as for a list just closed or opened.
    void clear();

    // The list row id and symbol of a row; -1 and empty outside the rows.
    qint64 rowId(int row) const;
    QString symbol(int row) const;

private:
    const TickerList& m_list;
    QVector<TickerList::Row> m_rows;
};

} // namespace kestrion
