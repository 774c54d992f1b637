#include "dialogselectecufromlist.h"

#include "dialogbuttons.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

DialogSelectECUFromList::DialogSelectECUFromList(const QList<EcuInfo> &ecus, QWidget *parent)
    : QDialog(parent), m_ecus(ecus)
{
    setObjectName(QStringLiteral("dialogListECU"));
    setModal(true);
    if (parent)
        setWindowTitle(parent->window()->windowTitle());

    auto *vmain = new QVBoxLayout(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstvuECUsFind"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({tr("Indirizzo MAC ECU"), tr("Descrizione ECU")});
    vmain->addWidget(m_list);
    if (m_ecus.size() >= 2) {
        for (const EcuInfo &ecu : m_ecus) {
            auto *item = new QTreeWidgetItem(m_list, {ecu.macText, ecu.descriptions.join(QStringLiteral(", "))});
            item->setCheckState(0, Qt::Unchecked);
        }
        m_list->resizeColumnToContents(0);
        m_list->resizeColumnToContents(1);
        // Wide enough for the descriptions, within the screen.
        int width = 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width();
        for (int c = 0; c < m_list->columnCount(); ++c)
            width += m_list->columnWidth(c);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            width = qMin(width, screen->availableGeometry().width() * 9 / 10);
        m_list->setMinimumWidth(width);
    }

    const auto [ok, cancel] = addOkCancelRow(this, vmain, tr("Ok"), tr("Annulla"));

    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item, int) { ecuSelected(item); });
    connect(ok, &QPushButton::released, this, &DialogSelectECUFromList::myAccept);
    connect(cancel, &QPushButton::released, this, &DialogSelectECUFromList::reject);
}

void DialogSelectECUFromList::ecuSelected(QTreeWidgetItem *item)
{
    if (!item)
        return;
    if (m_marked && m_marked != item)
        m_marked->setCheckState(0, Qt::Unchecked);
    m_marked = item;
    // Only one ECU can be the target: the clicked one stays checked.
    item->setCheckState(0, Qt::Checked);
}

void DialogSelectECUFromList::myAccept()
{
    int result = 0;
    if (m_marked) {
        const QString mac = m_marked->text(0);
        for (int i = 0; i < m_ecus.size(); ++i) {
            if (m_ecus.at(i).macText == mac) {
                result = i + 1;
                break;
            }
        }
    }
    done(result);
}
