#pragma once
// Choice of one ECU when a discovery found several. The dialog ends with
// 1 + the position of the chosen ECU, or 0 for none.

#include "rawframe.h"

#include <QDialog>
#include <QList>

class QTreeWidget;
class QTreeWidgetItem;

class DialogSelectECUFromList : public QDialog
{
    Q_OBJECT
public:
    explicit DialogSelectECUFromList(const QList<EcuInfo> &ecus, QWidget *parent = nullptr);

    QTreeWidget *listView() const { return m_list; }

public slots:
    void ecuSelected(QTreeWidgetItem *item);
    void myAccept();

private:
    QList<EcuInfo> m_ecus;
    QTreeWidget *m_list;
    QTreeWidgetItem *m_marked = nullptr;
};
