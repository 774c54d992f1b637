#include "zerodialog.h"

#include "communicationmedium.h"
#include "conversion.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTimerEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Column { ColLabel, ColUniqueCode, ColData, ColZeroSet, ColZeroNow };
}

ZeroDialog::ZeroDialog(CommunicationMedium *medium, const CanSettings &can, const QList<ChannelRecord *> &selected,
                       bool elfCheckEnabled, QWidget *parent, const QString &name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_medium(medium), m_space(can.memorySpaceId()), m_callerList(selected),
      m_elfCheckEnabled(elfCheckEnabled)
{
    setObjectName(name);
    setModal(modal);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstvu_zero_var"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({tr("Etichetta Canale"), tr("UniqCode"), tr("data"), tr("0 impostato"), tr("0 corrente")});
    m_list->setColumnHidden(ColUniqueCode, true);
    m_list->setColumnHidden(ColData, true);
    m_ok = new QPushButton(tr("Ok"), this);
    m_ok->setObjectName(QStringLiteral("btn_ok"));
    m_cancel = new QPushButton(tr("Annulla"), this);
    m_cancel->setObjectName(QStringLiteral("btn_cancel"));

    auto *main = new QVBoxLayout(this);
    main->setObjectName(QStringLiteral("v_main_layout"));
    main->addWidget(m_list);
    auto *buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("h_layout_btn_dialog"));
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    main->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, &ZeroDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &ZeroDialog::reject);

    for (const ChannelRecord *ch : selected) {
        if (!ch->zeroable)
            continue;
        ChannelRecord copy = *ch;
        copy.zeroable = false;
        auto *item = new QTreeWidgetItem(m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(ColLabel, Qt::Unchecked);
        item->setText(ColLabel, QString::fromLatin1(copy.label));
        item->setText(ColUniqueCode, QString::fromLatin1(copy.uniqueCode));
        item->setText(ColData, QString::number(m_copies.size()));
        item->setText(ColZeroSet, QString::number(copy.zeroValue));
        item->setText(ColZeroNow, QString::number(copy.zeroValue));
        m_copies.append(copy);
    }
    m_timerId = startTimer(TickMs);
}

ZeroDialog::~ZeroDialog() = default;

std::optional<quint32> ZeroDialog::readRaw(CommunicationMedium &medium, quint32 space, const ChannelRecord &channel)
{
    const quint32 n = qMin<quint32>(channel.loggedBytes, 4);
    quint8 b[4] = {};
    if (!medium.readMemory(space, channel.address, b, n))
        return std::nullopt;
    switch (n) {
    case 1: return b[0];
    case 2: return quint32(b[0]) << 8 | b[1];
    case 4: return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
    default: return 0u;
    }
}

void ZeroDialog::timerEvent(QTimerEvent *e)
{
    if (e->timerId() == m_timerId)
        tick();
    else
        QDialog::timerEvent(e);
}

void ZeroDialog::tick()
{
    if (!m_medium)
        return;
    if (m_state == 0) {
        if (!m_elfCheckEnabled) {
            quint32 table = 0xFFFFFFFFu;
            m_medium->staticTableStart(m_space, table);
            for (ChannelRecord &copy : m_copies) {
                quint16 size = 0;
                m_medium->staticTableEntry(m_space, copy.tableAddress, copy.address, size, table);
            }
        }
        m_state = 1;
    }
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        ChannelRecord &copy = m_copies[item->text(ColData).toInt()];
        copy.zeroable = item->checkState(ColLabel) == Qt::Checked;
        if (!copy.zeroable)
            continue;
        // A failed read keeps the last good value rather than a made-up zero.
        const std::optional<quint32> raw = readRaw(*m_medium, m_space, copy);
        if (!raw)
            continue;
        copy.zeroValue = *raw;
        item->setText(ColZeroNow, QString::number(Conversion::binToEng(qint32(*raw), copy), 'g', 6));
    }
}

void ZeroDialog::accept()
{
    killTimer(m_timerId);
    m_timerId = 0;
    bool changed = false;
    for (ChannelRecord *ch : std::as_const(m_callerList)) {
        if (m_copies.isEmpty())
            break;
        for (int i = 0; i < m_copies.size();) {
            if (m_copies.at(i).uniqueCode != ch->uniqueCode) {
                ++i;
                continue;
            }
            if (m_copies.at(i).zeroable) {
                ch->zeroValue = m_copies.at(i).zeroValue;
                changed = true;
            }
            m_copies.removeAt(i);
        }
    }
    done(changed ? QDialog::Accepted : QDialog::Rejected);
}

void ZeroDialog::reject()
{
    killTimer(m_timerId);
    m_timerId = 0;
    QDialog::reject();
}
