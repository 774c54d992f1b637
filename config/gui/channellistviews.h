#pragma once
// The two channel lists of the selection widget. Both turn Left/Right into a
// request for a longer/shorter sampling period and Enter into returnPressed;
// the selected list also reports Delete. The available list is a table view
// dressed as a list: with tens of thousands of rows a tree view lays out every
// row again after each removal, a table view does not.

#include <QTableView>
#include <QTreeWidget>

class AllChQListView : public QTableView
{
    Q_OBJECT
public:
    explicit AllChQListView(QWidget *parent = nullptr, const char *name = nullptr);

signals:
    void changePeriodSampling(const QModelIndex &item, bool downPeriod);
    void returnPressed(const QModelIndex &item);

protected:
    void keyPressEvent(QKeyEvent *e) override;
};

class SelChQListView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit SelChQListView(QWidget *parent = nullptr, const char *name = nullptr);

signals:
    void deletePressed(QTreeWidgetItem *item);
    void changePeriodSampling(QTreeWidgetItem *item, bool downPeriod);
    void returnPressed(QTreeWidgetItem *item);

protected:
    void keyPressEvent(QKeyEvent *e) override;
};
