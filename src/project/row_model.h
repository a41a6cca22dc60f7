#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <vector>

// The rows of one of the main window's list views: per row an image index (-1
// for none), a caption and sub-items. A row is known by a reference that is
// unique within the process and outlives nothing: clearing the rows makes every
// earlier reference name no row.
class TListRowModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListRowModel)

public:
    enum Role {
        ImageIndexRole = Qt::UserRole + 1,
        RowRefRole,
        SubItemsRole,
    };

    explicit TListRowModel(QStringList headers, QObject* parent = nullptr);
    ~TListRowModel() override;

    // Adds an empty row at the end and returns its reference.
    qint64 AddRow();
    void ClearRows();
    int Count() const { return static_cast<int>(m_rows.size()); }
    // The row a reference names in this model, -1 when none.
    int RowOf(qint64 ref) const;
    qint64 RowRef(int row) const;

    int ImageIndex(int row) const { return m_rows.at(static_cast<std::size_t>(row)).image; }
    const QString& Caption(int row) const { return m_rows.at(static_cast<std::size_t>(row)).caption; }
    const QStringList& SubItems(int row) const { return m_rows.at(static_cast<std::size_t>(row)).subItems; }
    void SetRow(int row, int image, const QString& caption, const QStringList& subItems);

    // Holds notifications: rows added and changed meanwhile reach the views in one
    // batch when the last hold is released.
    void BeginUpdate();
    void EndUpdate();

    // The model and row a reference names anywhere in the process; null when none.
    static TListRowModel* FindRow(qint64 ref, int* row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct TRow {
        int image = -1;
        QString caption;
        QStringList subItems;
    };

    void NewSerial();

    QStringList m_headers;
    std::vector<TRow> m_rows;
    qint64 m_serial = 0;
    int m_holds = 0;
    int m_committed = 0;  // rows the views know of
    int m_dirtyFirst = -1;
    int m_dirtyLast = -1;
};
