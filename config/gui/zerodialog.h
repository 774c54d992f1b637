#pragma once
// Sets the zero constant of zero-able channels from the ECU's live values:
// lists the selected zero-able channels, reads the raw value of each ticked
// one every 75 ms through the medium and shows it in engineering units; "Ok"
// stores the last raw value read as the channel's zeroValue. Opened by the
// main window's zero command.

#include "devicerecords.h"

#include <QDialog>
#include <QList>

#include <optional>

class CommunicationMedium;
class QTreeWidget;
class QPushButton;

class ZeroDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int TickMs = 75;

    ZeroDialog(CommunicationMedium *medium, const CanSettings &can, const QList<ChannelRecord *> &selected,
               bool elfCheckEnabled, QWidget *parent = nullptr, const QString &name = QStringLiteral("zero_sel_var"),
               bool modal = true, Qt::WindowFlags flags = Qt::Dialog);
    ~ZeroDialog() override;

    // The channel's raw value: min(loggedBytes, 4) bytes at its address,
    // big-endian; a 3-byte channel reads as 0. None when the read failed.
    static std::optional<quint32> readRaw(CommunicationMedium &medium, quint32 space, const ChannelRecord &channel);

public slots:
    void accept() override;
    void reject() override;

protected:
    void timerEvent(QTimerEvent *e) override;

private:
    void tick();

    CommunicationMedium *m_medium;
    quint32 m_space;
    QList<ChannelRecord *> m_callerList;
    bool m_elfCheckEnabled;
    QList<ChannelRecord> m_copies; // one per row, in row order
    int m_state = 0;
    int m_timerId = 0;
    QTreeWidget *m_list;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
