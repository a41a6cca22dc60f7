#include "project/row_model.h"

#include <QHash>

#include <random>

namespace {

// Row references are serial << 32 | (row + 1). Serials start at a random point,
// so a reference read from a project saved by another run names no row here.
QHash<qint64, TListRowModel*>& Registry()
{
    static QHash<qint64, TListRowModel*> registry;
    return registry;
}

qint64 NextSerial()
{
    static qint64 serial = [] {
        std::mt19937 generator(std::random_device{}());
        return static_cast<qint64>(std::uniform_int_distribution<int>(1 << 20, 1 << 30)(generator));
    }();
    if (++serial >= (qint64(1) << 31))
        serial = 1;
    return serial;
}

} // namespace

TListRowModel::TListRowModel(QStringList headers, QObject* parent)
    : QAbstractTableModel(parent), m_headers(std::move(headers))
{
    NewSerial();
}

TListRowModel::~TListRowModel()
{
    Registry().remove(m_serial);
}

void TListRowModel::NewSerial()
{
    Registry().remove(m_serial);
    m_serial = NextSerial();
    Registry().insert(m_serial, this);
}

qint64 TListRowModel::AddRow()
{
    const int row = Count();
    if (m_holds == 0)
        beginInsertRows(QModelIndex(), row, row);
    m_rows.emplace_back();
    if (m_holds == 0) {
        m_committed = Count();
        endInsertRows();
    }
    return RowRef(row);
}

void TListRowModel::ClearRows()
{
    beginResetModel();
    m_rows.clear();
    m_committed = 0;
    m_dirtyFirst = m_dirtyLast = -1;
    NewSerial();
    endResetModel();
}

qint64 TListRowModel::RowRef(int row) const
{
    return (m_serial << 32) | static_cast<qint64>(row + 1);
}

int TListRowModel::RowOf(qint64 ref) const
{
    if ((ref >> 32) != m_serial)
        return -1;
    const qint64 row = (ref & 0xFFFFFFFFLL) - 1;
    return (row >= 0 && row < Count()) ? static_cast<int>(row) : -1;
}

TListRowModel* TListRowModel::FindRow(qint64 ref, int* row)
{
    TListRowModel* model = Registry().value(ref >> 32, nullptr);
    if (!model)
        return nullptr;
    const int found = model->RowOf(ref);
    if (found < 0)
        return nullptr;
    if (row)
        *row = found;
    return model;
}

void TListRowModel::SetRow(int row, int image, const QString& caption, const QStringList& subItems)
{
    TRow& r = m_rows.at(static_cast<std::size_t>(row));
    r.image = image;
    r.caption = caption;
    r.subItems = subItems;
    if (row >= m_committed)
        return;
    if (m_holds > 0) {
        m_dirtyFirst = m_dirtyFirst < 0 ? row : std::min(m_dirtyFirst, row);
        m_dirtyLast = std::max(m_dirtyLast, row);
        return;
    }
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TListRowModel::BeginUpdate()
{
    ++m_holds;
}

void TListRowModel::EndUpdate()
{
    if (m_holds == 0 || --m_holds > 0)
        return;
    if (m_committed < Count()) {
        // rows were added while held: tell the views in one batch
        const int first = m_committed;
        const int last = Count() - 1;
        std::vector<TRow> added(std::make_move_iterator(m_rows.begin() + first), std::make_move_iterator(m_rows.end()));
        m_rows.resize(static_cast<std::size_t>(first));
        beginInsertRows(QModelIndex(), first, last);
        for (TRow& row : added)
            m_rows.push_back(std::move(row));
        m_committed = Count();
        endInsertRows();
    }
    if (m_dirtyFirst >= 0) {
        emit dataChanged(index(m_dirtyFirst, 0), index(m_dirtyLast, columnCount() - 1));
        m_dirtyFirst = m_dirtyLast = -1;
    }
}

int TListRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_committed;
}

int TListRowModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant TListRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_committed)
        return {};
    const TRow& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return row.caption;
        if (index.column() - 1 < row.subItems.size())
            return row.subItems.at(index.column() - 1);
        return QString();
    case ImageIndexRole:
        return row.image;
    case RowRefRole:
        return RowRef(index.row());
    case SubItemsRole:
        return row.subItems;
    default:
        return {};
    }
}

QVariant TListRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers.at(section);
    return {};
}
