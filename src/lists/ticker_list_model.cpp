#include "lists/ticker_list_model.h"

#include <algorithm>

namespace kestrion {

TickerListModel::TickerListModel(const TickerList& list, QObject* parent)
    : QAbstractListModel(parent)
    , m_list(list)
{
}

TickerListModel::~TickerListModel() = default;

int TickerListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TickerListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return m_rows.at(index.row()).symbol;
}

QVariant TickerListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Symbol");
    return QAbstractListModel::headerData(section, orientation, role);
}

std::optional<int> TickerListModel::refresh(int current)
{
    const qint64 currentId = rowId(current);
    QVector<TickerList::Row> rows;
    if (m_list.isOpen() && !m_list.readRows(rows))
        return std::nullopt;

    // Rows change in place and the count changes at the end, so that a view
    // keeps its selection and scroll position across a refresh.
    const int oldCount = int(m_rows.size());
    const int newCount = int(rows.size());
    if (newCount < oldCount) {
        beginRemoveRows({}, newCount, oldCount - 1);
        m_rows.resize(newCount);
        endRemoveRows();
    }
    const int common = std::min(oldCount, newCount);
    for (int i = 0; i < common; ++i)
        m_rows[i] = rows.at(i);
    if (common > 0)
        Q_EMIT dataChanged(index(0), index(common - 1));
    if (newCount > oldCount) {
        beginInsertRows({}, oldCount, newCount - 1);
        m_rows = rows;
        endInsertRows();
    }

    if (currentId < 0)
        return m_rows.isEmpty() ? -1 : 0;
    const auto found = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                    [currentId](const TickerList::Row& r) { return r.id == currentId; });
    return found != m_rows.cend() ? int(found - m_rows.cbegin()) : std::min(current, newCount - 1);
}

void TickerListModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginRemoveRows({}, 0, int(m_rows.size()) - 1);
    m_rows.clear();
    endRemoveRows();
}

qint64 TickerListModel::rowId(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).id : -1;
}

QString TickerListModel::symbol(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).symbol : QString();
}

} // namespace kestrion
