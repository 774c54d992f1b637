#pragma once
// ChannelsSelection: the main window's central widget. It lists the loggable
// channels of the loaded device, lets the user move them into the logger
// configuration with their sampling periods, edits the trigger, and shows the
// acquisition time and, after a download, the memory status.
//
// The main window owns the selected-channel list and the LoggerTable; this
// widget keeps pointers to them (setSelectedList, setLoggerTable). Device
// loading calls fillAvailableList, the logger commands and the snapshots call
// rebuildSelectedList/setTrigger/getTrigger and showMemoryStatus.

#include <QList>
#include <QModelIndex>
#include <QWidget>

#include "channelselectionstate.h"
#include "devicerecords.h"
#include "triggerrules.h"

class AllChQListView;
class SelChQListView;
class AvailableChannelsModel;
class NumberValidator;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;

class ChannelsSelection : public QWidget
{
    Q_OBJECT
public:
    explicit ChannelsSelection(QWidget *parent = nullptr, const char *name = "selezione_canali");
    ~ChannelsSelection() override;

    void setSelectedList(QList<ChannelRecord *> *list);
    void setLoggerTable(const LoggerTable *table);
    // MaximumPeriodSampling; 5 ms until set.
    void setFastestPeriod(int ms);
    int fastestPeriod() const { return int(m_state.fastestPeriod()); }

    void fillAvailableList(const QList<ChannelRecord *> &channelList, bool elfCheckEnabled, bool noLoggerTable);
    // For a channel list held by value; the records must stay where they are.
    void fillAvailableList(QList<ChannelRecord> &channelList, bool elfCheckEnabled, bool noLoggerTable);
    void setControlsEnabled(bool enable);
    void setDevicePath(const QString &directory, const QString &fileName);
    void setEcuSerial(bool show, const QString &serial);
    void rebuildSelectedList();
    void showMemoryStatus(quint32 usedBytes, bool fastLink);

    TriggerSettings getTrigger() const;
    void setTrigger(const TriggerSettings &settings);

    bool fitsBandwidth(const QList<ChannelRecord *> *list) const;

    // Room for both lists with their main columns; the main window takes its
    // size from this.
    QSize sizeHint() const override;

    // For tests and benchmarks.
    AvailableChannelsModel *availableModel() const { return m_model; }
    const ChannelSelectionState &state() const { return m_state; }
    quint32 acquisitionSeconds() const { return m_state.acquisitionSeconds(); }

public slots:
    void channelChanged(const QModelIndex &item);
    void addChannel();
    void removeChannel();
    void findVar(const QString &text);
    void findNextVar();
    void changeVarSettings(QTreeWidgetItem *item);
    void adjustVarFreqSampling(QTreeWidgetItem *item, bool downPeriod);
    void changeVarFreqArrow(const QModelIndex &item, bool downPeriod);
    void selezioneTrigger(int type);
    void cambiaRangeTrigger(const QString &label);
    void validaSogliaTrigger(const QString &text);

private:
    void buildWidgets();
    void buildTriggerGroup();
    ChannelRecord *recordOf(QTreeWidgetItem *item) const;
    QTreeWidgetItem *newSelectedItem(int availableRow, ChannelRecord *ch);
    void showAcquisitionTime();
    void refillTriggerChannels();
    void disableChannelTrigger(int type);
    void information(const QString &text);
    void selectAvailableRow(int row);
    void searchFrom(int row);

    ChannelSelectionState m_state;
    QString m_lastSearch;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

    QLabel *m_deviceName;
    QLabel *m_ecuSerial;
    QGroupBox *m_availGroup;
    AllChQListView *m_allList;
    AvailableChannelsModel *m_model;
    QLabel *m_searchLabel;
    QLineEdit *m_search;
    QPushButton *m_add;
    QPushButton *m_remove;
    QLabel *m_freqLabel;
    QComboBox *m_freq;
    QGroupBox *m_selGroup;
    SelChQListView *m_selList;
    QLabel *m_acqTimeText;
    QLabel *m_acqTime;
    QGroupBox *m_infoGroup;
    QLabel *m_memPerc;
    QLabel *m_timeElapsed;
    QLabel *m_estimatedDownload;

    QGroupBox *m_triggerGroup;
    QComboBox *m_triggerType;
    QComboBox *m_triggerChannel;
    QLineEdit *m_low;
    QLineEdit *m_high;
    QLineEdit *m_delay;
    NumberValidator *m_lowValidator;
    NumberValidator *m_highValidator;
    NumberValidator *m_delayValidator;
};
