#pragma once
// The list of loggable channels of the device, as rows of eight columns.
// Selected channels are hidden (taken out of the rows, kept in the model) and
// come back at their place when deselected. Texts are built on demand, so
// filling twenty thousand channels costs little more than a pointer copy.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <vector>

struct ChannelRecord;

class AvailableChannelsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { ColUniqCode, ColPtrMem, ColLabel, ColIndex, ColFreq, ColBytes, ColUnit, ColDescription, ColumnCount };
    static constexpr int RecordRole = Qt::UserRole + 1;

    explicit AvailableChannelsModel(QObject *parent = nullptr);

    // Header texts; column 4 differs between the two lists.
    static QStringList headerLabels(bool selectedList);
    // Row texts of a channel at a given frequency text, as both lists show them.
    static QString columnText(const ChannelRecord &ch, int column);
    static QString indexText(quint32 tableAddress);

    // Lists channels with loggerEnabled, or every channel when noLoggerTable.
    void fill(const QList<ChannelRecord *> &channels, bool noLoggerTable);
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    ChannelRecord *record(int row) const;
    ChannelRecord *record(const QModelIndex &index) const { return record(index.row()); }
    QString label(int row) const;
    QString text(int row, int column) const;
    void setLabel(int entry, const QString &label);

    // Entries are positions in the full list, hidden or not.
    int entryOf(const QByteArray &uniqueCode) const { return m_byCode.value(uniqueCode, -1); }
    int entryCount() const { return int(m_entries.size()); }
    int rowOfEntry(int entry) const { return m_rowOf[entry]; }
    bool isHidden(int entry) const { return m_rowOf[entry] < 0; }
    void hideEntry(int entry);
    void showEntry(int entry);

    // First row from `from` on (wrapping round) whose label contains text,
    // ignoring case; -1 for none or an empty text.
    int findLabel(const QString &text, int from) const;

private:
    struct Entry
    {
        ChannelRecord *ch;
        QString label;        // may be taken over from the selected list
        quint32 typicalPeriod; // periodMs when the list was filled
    };
    bool lessThan(int a, int b) const;
    void rebuildRows();

    std::vector<Entry> m_entries;
    std::vector<int> m_order; // entries in display order, hidden ones included
    std::vector<int> m_rows;  // visible entries in display order
    std::vector<int> m_rowOf; // entry -> row, -1 when hidden
    QHash<QByteArray, int> m_byCode;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
