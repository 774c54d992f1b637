#include "channelsselection.h"

#include "availablechannelsmodel.h"
#include "channellistviews.h"
#include "channelsettingsdialog.h"
#include "conversion.h"
#include "numbervalidator.h"
#include "samplingrules.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace SamplingRules;

namespace {
const int RecordRole = Qt::UserRole + 1;
const QString ProgramName = QStringLiteral("Brisca");
enum TriggerType { TriggerOff, TriggerContinuous, TriggerExternal, TriggerChannel };
}

ChannelsSelection::ChannelsSelection(QWidget *parent, const char *name) : QWidget(parent)
{
    if (name)
        setObjectName(QLatin1String(name));
    buildWidgets();
    setControlsEnabled(false);
}

ChannelsSelection::~ChannelsSelection() = default;

template <class W>
static W *named(W *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

void ChannelsSelection::buildWidgets()
{
    auto *main = new QVBoxLayout(this);

    auto *top = new QHBoxLayout;
    m_deviceName = named(new QLabel(tr("Device : "), this), "lbl_device_name");
    m_deviceName->setToolTip(tr("<Percorso device>"));
    m_ecuSerial = named(new QLabel(tr("Seriale ECU : "), this), "lbl_ecu_serial");
    m_ecuSerial->hide();
    top->addWidget(m_deviceName, 1);
    top->addWidget(m_ecuSerial);
    main->addLayout(top);

    auto *lists = new QHBoxLayout;

    m_availGroup = named(new QGroupBox(tr("Canali disponibili"), this), "grp_box_avail_chs");
    auto *availLayout = new QVBoxLayout(m_availGroup);
    m_allList = new AllChQListView(m_availGroup, "lstvu_all_chs");
    m_allList->setToolTip(tr("Doppio click o Enter sul canale per aggiungerlo"));
    m_model = new AvailableChannelsModel(this);
    m_allList->setModel(m_model);
    m_allList->setColumnHidden(AvailableChannelsModel::ColUniqCode, true);
    m_allList->setColumnHidden(AvailableChannelsModel::ColPtrMem, true);
    m_allList->horizontalHeader()->setSectionsClickable(true);
    m_allList->horizontalHeader()->setSortIndicatorShown(false);
    availLayout->addWidget(m_allList);
    auto *searchRow = new QHBoxLayout;
    m_searchLabel = named(new QLabel(tr("Ricerca :"), m_availGroup), "lbl_txt_search");
    m_search = named(new QLineEdit(m_availGroup), "le_var_selection");
    m_searchLabel->setBuddy(m_search);
    searchRow->addWidget(m_searchLabel);
    searchRow->addWidget(m_search, 1);
    availLayout->addLayout(searchRow);
    lists->addWidget(m_availGroup, 3);

    auto *middle = new QVBoxLayout;
    m_freqLabel = named(new QLabel(tr("Frequenze disponibili :"), this), "lbl_txt_freq_max_sel");
    m_freq = named(new QComboBox(this), "cmbox_freq_sel");
    m_freqLabel->setBuddy(m_freq);
    m_add = named(new QPushButton(tr("Aggiungi"), this), "btn_add_ch");
    m_remove = named(new QPushButton(tr("Rimuovi"), this), "btn_remove_ch");
    middle->addStretch();
    middle->addWidget(m_freqLabel);
    middle->addWidget(m_freq);
    middle->addSpacing(12);
    middle->addWidget(m_add);
    middle->addWidget(m_remove);
    middle->addStretch();
    lists->addLayout(middle);

    m_selGroup = named(new QGroupBox(tr("Canali selezionati"), this), "grp_box_sel_chs");
    auto *selLayout = new QVBoxLayout(m_selGroup);
    m_selList = new SelChQListView(m_selGroup, "lstvu_selected_chs");
    m_selList->setToolTip(tr("Doppio click o Enter sul canale per le modifiche"));
    m_selList->setColumnCount(AvailableChannelsModel::ColumnCount);
    m_selList->setHeaderLabels(AvailableChannelsModel::headerLabels(true));
    m_selList->setColumnHidden(AvailableChannelsModel::ColUniqCode, true);
    m_selList->setColumnHidden(AvailableChannelsModel::ColPtrMem, true);
    selLayout->addWidget(m_selList);
    auto *timeRow = new QHBoxLayout;
    m_acqTimeText = named(new QLabel(tr("Tempo massimo di acquisizione : "), m_selGroup), "lbl_txt_acquisition_time");
    m_acqTime = named(new QLabel(QStringLiteral("-------"), m_selGroup), "lbl_acquisition_time");
    timeRow->addWidget(m_acqTimeText);
    timeRow->addWidget(m_acqTime, 1);
    selLayout->addLayout(timeRow);
    lists->addWidget(m_selGroup, 3);
    main->addLayout(lists, 1);

    auto *bottom = new QHBoxLayout;
    buildTriggerGroup();
    bottom->addWidget(m_triggerGroup, 2);
    m_infoGroup = named(new QGroupBox(tr("Info"), this), "grpBoxInfoDataLogged");
    auto *info = new QGridLayout(m_infoGroup);
    m_memPerc = named(new QLabel(m_infoGroup), "lblMemPercUse");
    m_timeElapsed = named(new QLabel(m_infoGroup), "lblTimeElapsed");
    m_estimatedDownload = named(new QLabel(m_infoGroup), "lblEstimatedTimeDwnl");
    info->addWidget(named(new QLabel(tr("Memoria usata % :"), m_infoGroup), "lblTxtMemPercUse"), 0, 0);
    info->addWidget(m_memPerc, 0, 1);
    info->addWidget(named(new QLabel(tr("T. trascorso / T. residuo :"), m_infoGroup), "lblTxtTimeElapsed"), 1, 0);
    info->addWidget(m_timeElapsed, 1, 1);
    info->addWidget(named(new QLabel(tr("Stima download :"), m_infoGroup), "lblTxtEstimatedTimeDwnl"), 2, 0);
    info->addWidget(m_estimatedDownload, 2, 1);
    info->setColumnStretch(1, 1);
    bottom->addWidget(m_infoGroup, 1);
    main->addLayout(bottom);

    const int widths[] = { 0, 0, 170, 50, 100, 45, 55 };
    for (int c = AvailableChannelsModel::ColLabel; c < AvailableChannelsModel::ColDescription; ++c) {
        m_allList->setColumnWidth(c, widths[c]);
        m_selList->setColumnWidth(c, widths[c]);
    }

    connect(m_allList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &cur) { channelChanged(cur); });
    connect(m_allList, &QAbstractItemView::doubleClicked, this, [this] { addChannel(); });
    connect(m_allList, &AllChQListView::returnPressed, this, [this] { addChannel(); });
    connect(m_allList, &AllChQListView::changePeriodSampling, this, &ChannelsSelection::changeVarFreqArrow);
    connect(m_add, &QPushButton::clicked, this, &ChannelsSelection::addChannel);
    connect(m_selList, &SelChQListView::deletePressed, this, [this] { removeChannel(); });
    connect(m_remove, &QPushButton::clicked, this, &ChannelsSelection::removeChannel);
    connect(m_search, &QLineEdit::textChanged, this, &ChannelsSelection::findVar);
    connect(m_search, &QLineEdit::returnPressed, this, &ChannelsSelection::findNextVar);
    connect(m_selList, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { changeVarSettings(item); });
    connect(m_selList, &SelChQListView::returnPressed, this, &ChannelsSelection::changeVarSettings);
    connect(m_selList, &SelChQListView::changePeriodSampling, this, &ChannelsSelection::adjustVarFreqSampling);

    // Sorting by a column of the available list; a second click reverses it.
    connect(m_allList->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        m_sortOrder = section == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                   : Qt::AscendingOrder;
        m_sortColumn = section;
        QHeaderView *h = m_allList->horizontalHeader();
        h->setSortIndicatorShown(true);
        h->setSortIndicator(section, m_sortOrder);
        m_model->sort(section, m_sortOrder);
        if (m_allList->currentIndex().isValid())
            m_allList->scrollTo(m_allList->currentIndex());
    });

    setTabOrder(m_allList, m_search);
    setTabOrder(m_search, m_freq);
    setTabOrder(m_freq, m_add);
    setTabOrder(m_add, m_remove);
    setTabOrder(m_remove, m_selList);
    setTabOrder(m_selList, m_triggerType);
    setTabOrder(m_triggerType, m_triggerChannel);
    setTabOrder(m_triggerChannel, m_low);
    setTabOrder(m_low, m_high);
    setTabOrder(m_high, m_delay);
}

void ChannelsSelection::buildTriggerGroup()
{
    m_triggerGroup = named(new QGroupBox(tr("Trigger"), this), "grp_box_trigger");
    auto *grid = new QGridLayout(m_triggerGroup);
    grid->setObjectName(QStringLiteral("grd_layout_trigger"));

    m_triggerType = named(new QComboBox(m_triggerGroup), "cmbox_tipo_trigger");
    m_triggerType->addItems({ tr("Disabilitato"), tr("Continuo"), tr("Int. Esterno"), tr("Int. Canale") });
    m_triggerChannel = named(new QComboBox(m_triggerGroup), "cmbox_scelta_canale");
    m_triggerChannel->setEnabled(false);

    const QString zeroRange = QStringLiteral("Min = 0   -   Max = 0");
    m_low = named(new QLineEdit(QStringLiteral("0"), m_triggerGroup), "le_soglia_min");
    m_lowValidator = new NumberValidator(0, 0, TriggerRules::ThresholdDecimals, m_low, "validatorTrLow");
    m_low->setValidator(m_lowValidator);
    m_low->setToolTip(zeroRange);
    m_low->setEnabled(false);
    m_high = named(new QLineEdit(QStringLiteral("0"), m_triggerGroup), "le_soglia_max");
    m_highValidator = new NumberValidator(0, 0, TriggerRules::ThresholdDecimals, m_high, "validatorTrHigh");
    m_high->setValidator(m_highValidator);
    m_high->setToolTip(zeroRange);
    m_high->setEnabled(false);
    m_delay = named(new QLineEdit(QStringLiteral("0.5"), m_triggerGroup), "le_ritardo");
    m_delayValidator = new NumberValidator(TriggerRules::DelayMin, TriggerRules::DelayMax,
                                           TriggerRules::DelayDecimals, m_delay, "validatorDelay");
    m_delay->setValidator(m_delayValidator);
    m_delay->setEnabled(false);
    m_delay->setToolTip(QStringLiteral("Min = 0.5   -   Max = 25.5  -   ") + tr("Unita' : secondi"));

    auto label = [this](const QString &text, const char *name, QWidget *buddy) {
        QLabel *l = named(new QLabel(text, m_triggerGroup), name);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(tr("Tipo Trigger"), "lbl_txt_trigger_mode", m_triggerType), 0, 0);
    grid->addWidget(m_triggerType, 0, 1);
    grid->addWidget(label(tr("Selezione Canale"), "lbl_txt_scelta_canale", m_triggerChannel), 1, 0);
    grid->addWidget(m_triggerChannel, 1, 1);
    grid->addWidget(label(tr("Soglia Minima"), "lbl_txt_soglia_min", m_low), 0, 2);
    grid->addWidget(m_low, 0, 3);
    grid->addWidget(label(tr("Soglia Massima"), "lbl_txt_soglia_max", m_high), 1, 2);
    grid->addWidget(m_high, 1, 3);
    grid->addWidget(label(tr("Ritardo attivazione (s)"), "lbl_txt_ritardo", m_delay), 2, 2);
    grid->addWidget(m_delay, 2, 3);
    grid->setColumnStretch(4, 1);
    m_triggerChannel->setMinimumContentsLength(18);
    m_triggerChannel->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    for (QLineEdit *e : { m_low, m_high, m_delay })
        e->setMaximumWidth(140);

    connect(m_triggerType, QOverload<int>::of(&QComboBox::activated), this, &ChannelsSelection::selezioneTrigger);
    connect(m_triggerChannel, &QComboBox::textActivated, this, &ChannelsSelection::cambiaRangeTrigger);
    connect(m_low, &QLineEdit::textChanged, this, &ChannelsSelection::validaSogliaTrigger);
    connect(m_high, &QLineEdit::textChanged, this, &ChannelsSelection::validaSogliaTrigger);
    connect(m_delay, &QLineEdit::textChanged, this, &ChannelsSelection::validaSogliaTrigger);
}

// ---- operations used by the main window ----

QSize ChannelsSelection::sizeHint() const
{
    return QWidget::sizeHint().expandedTo(QSize(1100, 640));
}

void ChannelsSelection::setSelectedList(QList<ChannelRecord *> *list)
{
    m_state.setSelectedList(list);
}

void ChannelsSelection::setLoggerTable(const LoggerTable *table)
{
    m_state.setLoggerTable(table);
}

void ChannelsSelection::setFastestPeriod(int ms)
{
    m_state.setFastestPeriod(ms > 0 ? quint32(ms) : 0);
}

bool ChannelsSelection::fitsBandwidth(const QList<ChannelRecord *> *list) const
{
    return SamplingRules::fitsBandwidth(list, m_state.channelSlots());
}

void ChannelsSelection::fillAvailableList(const QList<ChannelRecord *> &channelList, bool elfCheckEnabled,
                                          bool noLoggerTable)
{
    m_state.setFlags(elfCheckEnabled, noLoggerTable);
    // The device's table may have changed since setLoggerTable.
    m_state.resync();
    m_selList->clear();
    m_allList->setUpdatesEnabled(false);
    m_model->fill(channelList, noLoggerTable);
    m_allList->setUpdatesEnabled(true);
    if (m_model->rowCount() > 0)
        selectAvailableRow(0);
    else
        m_freq->clear();
}

void ChannelsSelection::fillAvailableList(QList<ChannelRecord> &channelList, bool elfCheckEnabled, bool noLoggerTable)
{
    QList<ChannelRecord *> pointers;
    pointers.reserve(channelList.size());
    for (ChannelRecord &ch : channelList)
        pointers.append(&ch);
    fillAvailableList(pointers, elfCheckEnabled, noLoggerTable);
}

void ChannelsSelection::setControlsEnabled(bool enable)
{
    m_add->setEnabled(enable);
    m_remove->setEnabled(enable);
    m_freq->setEnabled(enable);
    if (!enable) {
        m_triggerType->setEnabled(false);
        return;
    }
    if (!m_state.noLoggerTable()) {
        m_triggerType->setEnabled(true);
    } else {
        m_triggerType->setEnabled(false);
        m_triggerChannel->setEnabled(false);
        m_low->setEnabled(false);
        m_high->setEnabled(false);
        m_delay->setEnabled(false);
    }
}

void ChannelsSelection::setDevicePath(const QString &directory, const QString &fileName)
{
    m_deviceName->setText(tr("Device : ") + fileName);
    m_deviceName->setToolTip(directory);
}

void ChannelsSelection::setEcuSerial(bool show, const QString &serial)
{
    m_ecuSerial->setText(tr("Seriale ECU : ") + serial);
    m_ecuSerial->setVisible(show);
}

void ChannelsSelection::rebuildSelectedList()
{
    m_state.resetRate();
    m_acqTime->setText(QStringLiteral("-------"));
    m_state.maxAcquisitionSeconds = 0;
    m_state.resync();
    m_selList->clear();
    for (int e = 0; e < m_model->entryCount(); ++e)
        if (m_model->isHidden(e))
            m_model->showEntry(e);

    QStringList missing;
    QList<ChannelRecord *> *list = m_state.selectedList();
    if (list) {
        for (ChannelRecord *ch : *list) {
            const int entry = m_model->entryOf(ch->uniqueCode);
            if (entry < 0 || m_model->isHidden(entry)) {
                missing << QString::fromLatin1(ch->label);
                continue;
            }
            newSelectedItem(m_model->rowOfEntry(entry), ch);
            m_model->hideEntry(entry);
            m_state.addRate(*ch);
            showAcquisitionTime();
            m_state.maxAcquisitionSeconds = float(m_state.acquisitionSeconds());
        }
    }
    if (!missing.isEmpty()) {
        QMessageBox::warning(this, ProgramName,
                             tr("Non è possibile visualizzare questi canali della configurazione ECU,\n"
                                "perchè nel device corrente non hanno abilitata la funzionalità di logger :")
                                 + QLatin1Char('\n') + missing.join(QLatin1Char('\n')));
    }
    selezioneTrigger(m_triggerType->currentIndex());
}

void ChannelsSelection::showMemoryStatus(quint32 usedBytes, bool fastLink)
{
    const MemoryStatus m =
        memoryStatus(usedBytes, m_state.availableBytes(), m_state.maxAcquisitionSeconds, fastLink);
    m_timeElapsed->setText(m.elapsedAndRemaining);
    m_memPerc->setText(m.percentUsed);
    m_estimatedDownload->setText(m.downloadEstimate);
}

// ---- lists ----

ChannelRecord *ChannelsSelection::recordOf(QTreeWidgetItem *item) const
{
    return item ? static_cast<ChannelRecord *>(item->data(0, RecordRole).value<void *>()) : nullptr;
}

QTreeWidgetItem *ChannelsSelection::newSelectedItem(int availableRow, ChannelRecord *ch)
{
    auto *item = new QTreeWidgetItem;
    for (int c = 0; c < AvailableChannelsModel::ColumnCount; ++c)
        item->setText(c, c == AvailableChannelsModel::ColFreq ? frequencyText(ch->periodMs)
                                                              : m_model->text(availableRow, c));
    item->setData(0, RecordRole, QVariant::fromValue(static_cast<void *>(ch)));
    m_selList->addTopLevelItem(item);
    return item;
}

void ChannelsSelection::showAcquisitionTime()
{
    if (!m_state.noLoggerTable())
        m_acqTime->setText(m_state.acquisitionTimeText());
}

void ChannelsSelection::information(const QString &text)
{
    QMessageBox::information(this, ProgramName, text);
}

void ChannelsSelection::selectAvailableRow(int row)
{
    const QModelIndex idx = m_model->index(row, AvailableChannelsModel::ColLabel);
    if (!idx.isValid())
        return;
    m_allList->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect
                                                          | QItemSelectionModel::Rows);
}

void ChannelsSelection::channelChanged(const QModelIndex &item)
{
    m_freq->clear();
    const ChannelRecord *ch = m_model->record(item);
    if (!ch)
        return;
    const QStringList choices = frequencyChoices(ch->minPeriodMs);
    m_freq->addItems(choices);
    const int cur = choices.indexOf(frequencyText(ch->periodMs));
    m_freq->setCurrentIndex(cur >= 0 ? cur : 0);
}

void ChannelsSelection::addChannel()
{
    const LoggerTable *table = m_state.loggerTable();
    const QModelIndex cur = m_allList->currentIndex();
    ChannelRecord *ch = m_model->record(cur);
    if (!table || !table->valid || !ch)
        return;
    const int row = cur.row();
    QString freq = m_freq->currentText();
    if (freq.isEmpty())
        freq = m_model->text(row, AvailableChannelsModel::ColFreq);

    switch (m_state.add(ch, periodFromFrequencyText(freq))) {
    case ChannelSelectionState::AddResult::LimitReached:
        information(tr("E' stato raggiunto il numero massimo di variabili campionabili!!!"));
        return;
    case ChannelSelectionState::AddResult::TooWide:
        information(tr("Le variabili con dimensione maggiore di 16 bits,\n"
                       "non sono attualmente supportate dal firmware della ECU!!!"));
        return;
    case ChannelSelectionState::AddResult::NoRoom:
        information(tr("Non c'e' spazio per il canale a nessuna frequenza di campionamento!!!"));
        return;
    case ChannelSelectionState::AddResult::Added:
        break;
    default:
        return;
    }

    newSelectedItem(row, ch);
    m_model->hideEntry(m_model->entryOf(ch->uniqueCode));
    m_state.addRate(*ch);
    showAcquisitionTime();
    selezioneTrigger(m_triggerType->currentIndex());

    const int rows = m_model->rowCount();
    if (rows > 0)
        selectAvailableRow(row < rows ? row : rows - 1);
}

void ChannelsSelection::removeChannel()
{
    QTreeWidgetItem *item = m_selList->currentItem();
    if (!item || !item->isSelected())
        item = m_selList->selectedItems().value(0);
    ChannelRecord *ch = recordOf(item);
    if (!ch)
        return;
    const QString label = item->text(AvailableChannelsModel::ColLabel);
    if (m_triggerType->currentIndex() == TriggerChannel && m_triggerChannel->currentText() == label) {
        const QString caption = window()->windowTitle().isEmpty() ? ProgramName : window()->windowTitle();
        if (QMessageBox::question(this, caption,
                                  tr("Il canale che si sta cancellando, e' impostato come trigger!!!\n"
                                     "Continuare comunque???"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
        m_triggerType->setCurrentIndex(TriggerOff);
    }

    m_state.subtractRate(*ch);
    showAcquisitionTime();

    const int entry = m_model->entryOf(item->text(AvailableChannelsModel::ColUniqCode).toLatin1());
    if (entry >= 0) {
        m_model->setLabel(entry, label);
        m_model->showEntry(entry);
        // A list that had run empty gets a current row again for the keyboard.
        if (!m_allList->currentIndex().isValid())
            selectAvailableRow(m_model->rowOfEntry(entry));
    }

    m_state.remove(ch);
    const int index = m_selList->indexOfTopLevelItem(item);
    QTreeWidgetItem *next = m_selList->topLevelItem(index + 1);
    if (!next)
        next = m_selList->topLevelItem(index - 1);
    delete item;
    if (next) {
        m_selList->setCurrentItem(next);
        next->setSelected(true);
    }
    selezioneTrigger(m_triggerType->currentIndex());
}

void ChannelsSelection::searchFrom(int row)
{
    const int match = m_model->findLabel(m_lastSearch, row);
    if (match < 0)
        return;
    selectAvailableRow(match);
    m_allList->scrollTo(m_model->index(match, AvailableChannelsModel::ColLabel));
}

void ChannelsSelection::findVar(const QString &text)
{
    m_allList->selectionModel()->clearSelection();
    m_lastSearch = text;
    const QModelIndex cur = m_allList->currentIndex();
    searchFrom(cur.isValid() ? cur.row() : 0);
}

void ChannelsSelection::findNextVar()
{
    const int rows = m_model->rowCount();
    if (rows == 0 || m_lastSearch.isEmpty())
        return;
    const QModelIndex cur = m_allList->currentIndex();
    int row = cur.isValid() ? cur.row() + 1 : 0;
    if (row >= rows)
        row = cur.isValid() ? qMax(0, cur.row() - 1) : 0;
    selectAvailableRow(row);
    searchFrom(row);
}

// ---- periods of selected channels ----

void ChannelsSelection::adjustVarFreqSampling(QTreeWidgetItem *item, bool downPeriod)
{
    ChannelRecord *ch = recordOf(item);
    if (!ch)
        return;
    m_state.subtractRate(*ch);
    const bool fits = m_state.stepPeriod(ch, downPeriod);
    item->setText(AvailableChannelsModel::ColFreq, frequencyText(ch->periodMs));
    m_state.addRate(*ch);
    showAcquisitionTime();
    if (!fits)
        information(tr("Non c'e' spazio per il canale a nessuna frequenza di campionamento!!!"));
}

void ChannelsSelection::changeVarFreqArrow(const QModelIndex &item, bool downPeriod)
{
    const ChannelRecord *ch = m_model->record(item);
    if (!ch)
        return;
    const QString current = m_freq->currentText();
    quint32 period = ch->periodMs;
    if (!current.isEmpty() && current != frequencyText(ch->periodMs))
        period = periodFromFrequencyText(current);
    const quint32 fastest = m_state.fastestPeriod();
    period = downPeriod ? fasterPeriodWrapAtFastest(period, fastest) : slowerPeriod(period, fastest);
    const int i = m_freq->findText(frequencyText(period), Qt::MatchExactly);
    if (i >= 0)
        m_freq->setCurrentIndex(i);
}

void ChannelsSelection::changeVarSettings(QTreeWidgetItem *item)
{
    ChannelRecord *ch = recordOf(item);
    if (!ch)
        return;
    m_state.subtractRate(*ch);
    const quint32 before = ch->periodMs;
    const QString oldLabel = item->text(AvailableChannelsModel::ColLabel);
    auto *dlg = new ChannelSettingsDialog(ch, this, "channel_setting", true);
    dlg->setWindowTitle(tr("Impostazioni..."));
    if (dlg->exec() == QDialog::Accepted) {
        const bool fits = m_state.refit(ch, before);
        item->setText(AvailableChannelsModel::ColLabel, QString::fromLatin1(ch->label));
        item->setText(AvailableChannelsModel::ColFreq, frequencyText(ch->periodMs));
        item->setText(AvailableChannelsModel::ColUnit, QString::fromLatin1(ch->unit));
        if (!fits)
            information(tr("Non c'e' spazio per il canale a nessuna frequenza di campionamento!!!"));
        // The trigger list shows labels and the thresholds follow the scaling:
        // a renamed or rescaled trigger channel must stay the trigger channel.
        if (m_triggerType->currentIndex() == TriggerChannel) {
            const bool wasTrigger = m_triggerChannel->currentText() == oldLabel;
            refillTriggerChannels();
            if (wasTrigger)
                m_triggerChannel->setCurrentIndex(m_triggerChannel->findText(
                    QString::fromLatin1(ch->label), Qt::MatchExactly | Qt::MatchCaseSensitive));
            cambiaRangeTrigger(m_triggerChannel->currentText());
        }
    }
    m_state.addRate(*ch);
    showAcquisitionTime();
    delete dlg;
}

// ---- trigger ----

void ChannelsSelection::refillTriggerChannels()
{
    QString remembered;
    if (m_triggerChannel->isEnabled() && !m_triggerChannel->currentText().isEmpty())
        remembered = m_triggerChannel->currentText();
    m_triggerChannel->clear();
    for (int i = 0; i < m_selList->topLevelItemCount(); ++i)
        m_triggerChannel->addItem(m_selList->topLevelItem(i)->text(AvailableChannelsModel::ColLabel));
    if (m_triggerChannel->isEnabled() && !remembered.isEmpty()) {
        const int i = m_triggerChannel->findText(remembered, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (i >= 0)
            m_triggerChannel->setCurrentIndex(i);
    }
}

void ChannelsSelection::selezioneTrigger(int type)
{
    if (type == TriggerChannel) {
        m_low->setEnabled(true);
        m_high->setEnabled(true);
        m_delay->setEnabled(true);
        m_triggerChannel->setEnabled(true);
        refillTriggerChannels();
        cambiaRangeTrigger(m_triggerChannel->currentText());
        return;
    }
    disableChannelTrigger(type);
}

// A trigger without a channel: thresholds cleared; "Continuo" keeps its delay.
void ChannelsSelection::disableChannelTrigger(int type)
{
    m_triggerChannel->clear();
    m_triggerChannel->setEnabled(false);
    m_low->setText(QStringLiteral("0"));
    m_low->setEnabled(false);
    m_high->setText(QStringLiteral("0"));
    m_high->setEnabled(false);
    if (type == TriggerOff)
        m_delay->setText(QStringLiteral("0.5"));
    m_delay->setEnabled(type != TriggerOff);
}

void ChannelsSelection::cambiaRangeTrigger(const QString &label)
{
    const QList<ChannelRecord *> *list = m_state.selectedList();
    if (!list)
        return;
    const QByteArray wanted = label.toLatin1();
    for (const ChannelRecord *ch : *list) {
        if (ch->label != wanted)
            continue;
        const TriggerRules::Range r = TriggerRules::thresholdRange(*ch);
        m_lowValidator->setRange(r.bottom, r.top, TriggerRules::ThresholdDecimals);
        m_highValidator->setRange(r.bottom, r.top, TriggerRules::ThresholdDecimals);
        m_low->setToolTip(TriggerRules::rangeTooltip(r));
        m_high->setToolTip(TriggerRules::rangeTooltip(r));
        return;
    }
}

void ChannelsSelection::validaSogliaTrigger(const QString &)
{
    auto *field = qobject_cast<QLineEdit *>(sender());
    if (!field)
        return;
    QString fixed;
    if (field == m_low || field == m_high) {
        const NumberValidator *v = field == m_low ? m_lowValidator : m_highValidator;
        fixed = TriggerRules::correctedThreshold(field->text(), { v->bottom(), v->top() }, field == m_low,
                                                 field->hasFocus());
    } else if (field == m_delay) {
        fixed = TriggerRules::correctedDelay(field->text());
    }
    if (fixed.isNull())
        return;
    const QSignalBlocker block(field);
    field->setText(fixed);
}

TriggerSettings ChannelsSelection::getTrigger() const
{
    TriggerSettings t;
    t.type = quint8(qMax(0, m_triggerType->currentIndex()));
    if (t.type == TriggerChannel) {
        const QByteArray wanted = m_triggerChannel->currentText().toLatin1();
        if (const QList<ChannelRecord *> *list = m_state.selectedList()) {
            for (const ChannelRecord *ch : *list) {
                if (!m_triggerChannel->currentText().isEmpty() && ch->label == wanted) {
                    t.channel = ch;
                    break;
                }
            }
        }
        // A channel trigger without a channel cannot fire: hand it over disabled.
        if (!t.channel)
            return TriggerSettings();
        t.lowThreshold = Conversion::engToBin(m_low->text().toDouble(), *t.channel);
        t.highThreshold = Conversion::engToBin(m_high->text().toDouble(), *t.channel);
    }
    if (t.type != TriggerOff)
        t.delay = TriggerRules::delayFromText(m_delay->text());
    return t;
}

void ChannelsSelection::setTrigger(const TriggerSettings &settings)
{
    const int type = settings.type <= TriggerChannel ? int(settings.type) : int(TriggerOff);
    m_triggerType->setCurrentIndex(type);
    if (type == TriggerChannel) {
        refillTriggerChannels();
        if (settings.channel) {
            const int i = m_triggerChannel->findText(QString::fromLatin1(settings.channel->label),
                                                     Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (i >= 0)
                m_triggerChannel->setCurrentIndex(i);
        }
        cambiaRangeTrigger(m_triggerChannel->currentText());
        m_triggerChannel->setEnabled(true);
        const ChannelRecord one = [] { ChannelRecord r; r.setIdentity(); return r; }();
        const ChannelRecord &scale = settings.channel ? *settings.channel : one;
        m_low->setText(TriggerRules::engText(Conversion::binToEng(settings.lowThreshold, scale)));
        m_high->setText(TriggerRules::engText(Conversion::binToEng(settings.highThreshold, scale)));
        m_low->setEnabled(true);
        m_high->setEnabled(true);
        m_delay->setText(TriggerRules::delayText(settings.delay));
        m_delay->setEnabled(true);
        return;
    }
    disableChannelTrigger(type);
    if (type != TriggerOff)
        m_delay->setText(TriggerRules::delayText(settings.delay));
}
