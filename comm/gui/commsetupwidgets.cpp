#include "commsetupwidgets.h"

#include "dialogchangeserver.h"
#include "dialogselectecufromlist.h"
#include "dialogselectethinterface.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>

CommActionsView::CommActionsView(QAction *serverAction, QAction *interfaceAction, QAction *serverItem,
                                 QAction *ethernetItem, QLabel *ecuLabel)
    : m_serverAction(serverAction), m_interfaceAction(interfaceAction), m_items{serverItem, ethernetItem},
      m_ecuLabel(ecuLabel)
{
}

void CommActionsView::setServerActionEnabled(bool enabled)
{
    if (m_serverAction)
        m_serverAction->setEnabled(enabled);
}

void CommActionsView::setInterfaceActionEnabled(bool enabled)
{
    if (m_interfaceAction)
        m_interfaceAction->setEnabled(enabled);
}

void CommActionsView::setServerActionText(const QString &text)
{
    if (m_serverAction)
        m_serverAction->setText(text);
}

void CommActionsView::setInterfaceActionText(const QString &text)
{
    if (m_interfaceAction)
        m_interfaceAction->setText(text);
}

void CommActionsView::setMediumItemText(int item, const QString &text)
{
    if (item >= 0 && item < 2 && m_items[item])
        m_items[item]->setText(text);
}

void CommActionsView::setMediumItemChecked(int item, bool checked)
{
    if (item >= 0 && item < 2 && m_items[item]) {
        m_items[item]->setCheckable(true);
        m_items[item]->setChecked(checked);
    }
}

void CommActionsView::setEcuLabel(bool visible, const QString &text)
{
    if (!m_ecuLabel)
        return;
    m_ecuLabel->setText(text);
    m_ecuLabel->setVisible(visible);
}

bool CommDialogsGui::changeServer(QString &serverAddress, const QStringList &activeServers, bool mediumIsServer)
{
    DialogChangeServer dialog(&serverAddress, activeServers, mediumIsServer, m_parent);
    return dialog.exec() == QDialog::Accepted;
}

bool CommDialogsGui::selectInterface(int &index, const QStringList &descriptions)
{
    DialogSelectEthInterface dialog(&index, descriptions, m_parent);
    return dialog.exec() == QDialog::Accepted;
}

int CommDialogsGui::selectEcu(const QList<EcuInfo> &ecus)
{
    DialogSelectECUFromList dialog(ecus, m_parent);
    return dialog.exec();
}

void CommDialogsGui::showMessage(bool warning, const QString &text)
{
    const QString title = m_parent ? m_parent->window()->windowTitle() : QStringLiteral("Brisca");
    if (warning)
        QMessageBox::warning(m_parent, title, text);
    else
        QMessageBox::information(m_parent, title, text);
}
