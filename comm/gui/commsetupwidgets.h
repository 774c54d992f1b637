#pragma once
// The widget side of CommSetup: the main window's actions and ECU label, and
// the three setup dialogs run modally over the main window.

#include "commsetup.h"

#include <QPointer>

class QAction;
class QLabel;
class QWidget;

class CommActionsView : public CommView
{
public:
    // Any pointer may be null; that widget is then left alone.
    CommActionsView(QAction *serverAction, QAction *interfaceAction, QAction *serverItem, QAction *ethernetItem,
                    QLabel *ecuLabel);

    void setServerActionEnabled(bool enabled) override;
    void setInterfaceActionEnabled(bool enabled) override;
    void setServerActionText(const QString &text) override;
    void setInterfaceActionText(const QString &text) override;
    void setMediumItemText(int item, const QString &text) override;
    void setMediumItemChecked(int item, bool checked) override;
    void setEcuLabel(bool visible, const QString &text) override;

private:
    QPointer<QAction> m_serverAction;
    QPointer<QAction> m_interfaceAction;
    QPointer<QAction> m_items[2];
    QPointer<QLabel> m_ecuLabel;
};

class CommDialogsGui : public CommDialogs
{
public:
    explicit CommDialogsGui(QWidget *parent) : m_parent(parent) {}

    bool changeServer(QString &serverAddress, const QStringList &activeServers, bool mediumIsServer) override;
    bool selectInterface(int &index, const QStringList &descriptions) override;
    int selectEcu(const QList<EcuInfo> &ecus) override;
    void showMessage(bool warning, const QString &text) override;

private:
    QPointer<QWidget> m_parent;
};
