#include "availablechannelsmodel.h"

#include "devicerecords.h"
#include "samplingrules.h"

#include <algorithm>

AvailableChannelsModel::AvailableChannelsModel(QObject *parent) : QAbstractTableModel(parent) {}

QStringList AvailableChannelsModel::headerLabels(bool selectedList)
{
    return { QStringLiteral("UniqCode"),
             QStringLiteral("PtrMem"),
             tr("Etichetta Canale"),
             tr("Indice"),
             selectedList ? tr("Freq. Sel. (Hz)") : tr("Freq. Tipica (Hz)"),
             tr("Bytes"),
             tr("Unit"),
             tr("Descrizione") };
}

QString AvailableChannelsModel::indexText(quint32 tableAddress)
{
    return QStringLiteral("%1").arg(tableAddress, 3, 10, QLatin1Char('0'));
}

QString AvailableChannelsModel::columnText(const ChannelRecord &ch, int column)
{
    switch (column) {
    case ColUniqCode: return QString::fromLatin1(ch.uniqueCode);
    case ColPtrMem: return QString::number(quintptr(&ch));
    case ColLabel: return QString::fromLatin1(ch.label);
    case ColIndex: return indexText(ch.tableAddress);
    case ColFreq: return SamplingRules::frequencyText(ch.periodMs);
    case ColBytes: return QString::number(ch.loggedBytes);
    case ColUnit: return QString::fromLatin1(ch.unit);
    case ColDescription: return QString::fromLatin1(ch.description);
    }
    return QString();
}

void AvailableChannelsModel::fill(const QList<ChannelRecord *> &channels, bool noLoggerTable)
{
    beginResetModel();
    m_entries.clear();
    m_byCode.clear();
    m_entries.reserve(channels.size());
    for (ChannelRecord *ch : channels) {
        if (!ch || !(ch->loggerEnabled || noLoggerTable))
            continue;
        m_byCode.insert(ch->uniqueCode, int(m_entries.size())); // replaced below if repeated
        m_entries.push_back({ ch, QString::fromLatin1(ch->label), ch->periodMs });
    }
    // The first channel with a code is the one that is found by it.
    for (int i = int(m_entries.size()) - 1; i >= 0; --i)
        m_byCode[m_entries[i].ch->uniqueCode] = i;
    m_order.resize(m_entries.size());
    for (size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = int(i);
    m_rowOf.assign(m_entries.size(), 0);
    if (m_sortColumn >= 0)
        std::stable_sort(m_order.begin(), m_order.end(), [this](int a, int b) { return lessThan(a, b); });
    rebuildRows();
    endResetModel();
}

void AvailableChannelsModel::clear()
{
    fill({}, false);
}

void AvailableChannelsModel::rebuildRows()
{
    m_rows.clear();
    m_rows.reserve(m_order.size());
    for (int e : m_order) {
        if (m_rowOf[e] >= 0) {
            m_rowOf[e] = int(m_rows.size());
            m_rows.push_back(e);
        }
    }
}

int AvailableChannelsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int AvailableChannelsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

ChannelRecord *AvailableChannelsModel::record(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return nullptr;
    return m_entries[m_rows[row]].ch;
}

QString AvailableChannelsModel::label(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return QString();
    return m_entries[m_rows[row]].label;
}

QString AvailableChannelsModel::text(int row, int column) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return QString();
    const Entry &e = m_entries[m_rows[row]];
    if (column == ColLabel)
        return e.label;
    if (column == ColFreq)
        return SamplingRules::frequencyText(e.typicalPeriod);
    return columnText(*e.ch, column);
}

void AvailableChannelsModel::setLabel(int entry, const QString &label)
{
    m_entries[entry].label = label;
    const int row = m_rowOf[entry];
    if (row >= 0)
        emit dataChanged(index(row, ColLabel), index(row, ColLabel));
}

QVariant AvailableChannelsModel::data(const QModelIndex &idx, int role) const
{
    if (!idx.isValid() || idx.row() >= int(m_rows.size()))
        return QVariant();
    if (role == Qt::DisplayRole)
        return text(idx.row(), idx.column());
    if (role == RecordRole)
        return QVariant::fromValue(static_cast<void *>(record(idx.row())));
    return QVariant();
}

QVariant AvailableChannelsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return headerLabels(false).value(section);
}

bool AvailableChannelsModel::lessThan(int a, int b) const
{
    const Entry &x = m_entries[a];
    const Entry &y = m_entries[b];
    switch (m_sortColumn) {
    case ColIndex: return x.ch->tableAddress < y.ch->tableAddress;
    case ColFreq: return x.typicalPeriod > y.typicalPeriod; // by frequency
    case ColBytes: return x.ch->loggedBytes < y.ch->loggedBytes;
    case ColLabel: return x.label.compare(y.label, Qt::CaseInsensitive) < 0;
    case ColUnit: return qstricmp(x.ch->unit.constData(), y.ch->unit.constData()) < 0;
    case ColDescription: return qstricmp(x.ch->description.constData(), y.ch->description.constData()) < 0;
    case ColUniqCode: return x.ch->uniqueCode < y.ch->uniqueCode;
    default: return a < b;
    }
}

void AvailableChannelsModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> entryOfPersistent;
    entryOfPersistent.reserve(before.size());
    for (const QModelIndex &i : before)
        entryOfPersistent.push_back(i.row() < int(m_rows.size()) ? m_rows[i.row()] : -1);

    m_sortColumn = column;
    m_sortOrder = order;
    std::sort(m_order.begin(), m_order.end()); // device order first, so ties keep it
    std::stable_sort(m_order.begin(), m_order.end(), [this](int a, int b) { return lessThan(a, b); });
    if (order == Qt::DescendingOrder)
        std::reverse(m_order.begin(), m_order.end());
    rebuildRows();

    QModelIndexList after;
    after.reserve(before.size());
    for (int k = 0; k < before.size(); ++k) {
        const int e = entryOfPersistent[k];
        after << (e >= 0 && m_rowOf[e] >= 0 ? index(m_rowOf[e], before[k].column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void AvailableChannelsModel::hideEntry(int entry)
{
    const int row = m_rowOf[entry];
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    m_rowOf[entry] = -1;
    for (size_t r = size_t(row); r < m_rows.size(); ++r)
        m_rowOf[m_rows[r]] = int(r);
    endRemoveRows();
}

void AvailableChannelsModel::showEntry(int entry)
{
    if (m_rowOf[entry] >= 0)
        return;
    // The new row goes after the visible entries that precede it in display order.
    int row = 0;
    for (int e : m_order) {
        if (e == entry)
            break;
        if (m_rowOf[e] >= 0)
            ++row;
    }
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, entry);
    for (size_t r = size_t(row); r < m_rows.size(); ++r)
        m_rowOf[m_rows[r]] = int(r);
    endInsertRows();
}

int AvailableChannelsModel::findLabel(const QString &text, int from) const
{
    const int n = int(m_rows.size());
    if (text.isEmpty() || n == 0)
        return -1;
    if (from < 0 || from >= n)
        from = 0;
    for (int k = 0; k < n; ++k) {
        const int row = (from + k) % n;
        if (m_entries[m_rows[row]].label.contains(text, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}
