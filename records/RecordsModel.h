#pragma once

// The rows of the records list: 25 columns per stored receipt, with the running number in
// column 0 and a distinct item-data value per row. A ledger may hold a million receipts, so the
// cell texts are kept as UTF-8 in a few large blocks (one length-prefixed run of bytes per row)
// and become QStrings only when the view asks for them.

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QDateTime>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class Recordset;

inline constexpr int kRecordColumnCount = 25;
// Columns 1 to 24 come from the receipt; column 0 is the running number.
inline constexpr int kRecordCellCount = kRecordColumnCount - 1;

// Column widths of the list in pixels; 0 hides a column until the operator drags it open.
inline constexpr std::array<int, kRecordColumnCount> kRecordColumnWidths = {
    40, 65, 100, 76, 156, 0, 0, 55, 0, 0, 55, 0, 0, 0, 0, 0, 0, 0, 0, 55, 65, 56, 56, 60, 0};

// Columns that the summary adds up, and a few the other windows read.
namespace RecordColumn {
enum : int {
    Number = 0,
    No = 1,
    Address = 2,
    Date = 3,
    Period = 4,
    WaterFee = 7,
    ElecFee = 10,
    HotWaterFee = 13,
    Rent = 19,
    Total = 20,
    Remark = 23,
    ThreeRow = 24,
};
}

class RecordsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // How a fill treats a receipt without a charging-period end: the range fill ends the period
    // today, the query fill takes the stored date as it is.
    enum class FillKind { Range, Query };

    struct Totals {
        double rent = 0;
        double water = 0;
        double elec = 0;
        double hotWater = 0;
        double total = 0;
    };

    explicit RecordsModel(QObject* parent = nullptr);
    ~RecordsModel() override;

    // The 25 headings; "上月"/"本月" and the fee captions come from the settings.
    static QStringList headingsFor(const QString& addressCaption, const QString& hotWaterCaption,
                                   const QString& tvCaption, const QString& netCaption,
                                   const QString& cleanCaption, const QString& manageCaption);
    void setHeadings(const QStringList& headings);
    void setHeading(int column, const QString& text);
    QString heading(int column) const;

    // Replaces every row by the receipts of the record set (RECEIPT columns by position) and
    // returns the totals of the rows read. A statement that fails while stepping leaves the list
    // empty and passes the DbError on.
    Totals fill(Recordset& rs, FillKind kind, bool chargingPeriod, const QDateTime& now);
    void clear();

    // cells holds columns 1 to 24 in order (missing texts count empty); key is the receipt's
    // ledger key and version the ReceiptRowVersion of its stored row (0: not known). The new row
    // is numbered after the current row count and gets an item data one above every other row's.
    int appendRow(const QStringList& cells, long long key = 0, std::uint64_t version = 0);
    // Rewrites columns 1 to 24 of a row and its version; its number and item data stay.
    void updateRow(int row, const QStringList& cells, std::uint64_t version = 0);
    // Removes rows without renumbering the others. removeRowList takes any set of rows at once.
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    void removeRowList(QList<int> rows);

    QString cell(int row, int column) const;
    QByteArrayView cellUtf8(int row, int column) const; // columns 1 to 24
    int itemData(int row) const;
    // The ledger key (RECEIPT.id) of the receipt a row shows, and the row that shows a receipt
    // (-1 when none does). Receipt numbers may repeat; keys never do.
    long long key(int row) const;
    // The ReceiptRowVersion of the receipt as the row shows it (0 when not known).
    std::uint64_t version(int row) const;
    int rowOfKey(long long key) const;
    // The row that carries an item data value (rows move when sorted); -1 when none does.
    int rowOfItemData(int itemData) const;

    // UpdateSummary: the totals of the cells of every row.
    Totals computeTotals() const;
    static QString summaryText(const Totals& totals, const QString& hotWaterCaption);

    // A heading click: a new column sorts ascending, the same column again reverses.
    void sortByColumn(int column);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_nSortColumn; }
    bool sortAscending() const { return m_bSortAscending; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // One list row: where its bytes lie in the arena, its running number and its item data.
    struct Row {
        std::uint32_t chunk;
        std::uint32_t offset;
        std::int32_t number;
        std::int32_t itemData;
        std::int64_t key;
        std::uint64_t version;
    };
    class Arena;

    Row makeRow(const std::array<QByteArrayView, kRecordCellCount>& cells, int number, int itemData,
                std::int64_t key, std::uint64_t version);
    void releaseRow(const Row& row);
    void dropRows();
    void compactIfWasteful();
    void sortRows();
    void applyOrder(const std::vector<std::uint32_t>& order);
    std::size_t rowBytes(const Row& row) const;

    std::unique_ptr<Arena> m_arena;
    std::vector<Row> m_rows;
    int m_maxItemData = -1;
    QStringList m_headings;

    bool m_bSortAscending = false;
    int m_nSortColumn = -1;
};
