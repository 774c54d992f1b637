#include "channellistviews.h"

#include <QHeaderView>
#include <QKeyEvent>

static void setUpList(QAbstractItemView *view, const char *name)
{
    if (name)
        view->setObjectName(QLatin1String(name));
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setMinimumHeight(156);
}

AllChQListView::AllChQListView(QWidget *parent, const char *name) : QTableView(parent)
{
    setUpList(this, name);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab leaves the list, as in every other list
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void AllChQListView::keyPressEvent(QKeyEvent *e)
{
    const QModelIndex cur = currentIndex();
    if (cur.isValid()) {
        switch (e->key()) {
        case Qt::Key_Left: emit changePeriodSampling(cur, false); return;
        case Qt::Key_Right: emit changePeriodSampling(cur, true); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: emit returnPressed(cur); return;
        default: break;
        }
    }
    QTableView::keyPressEvent(e);
}

SelChQListView::SelChQListView(QWidget *parent, const char *name) : QTreeWidget(parent)
{
    setUpList(this, name);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
}

void SelChQListView::keyPressEvent(QKeyEvent *e)
{
    QTreeWidgetItem *cur = currentItem();
    if (cur) {
        switch (e->key()) {
        case Qt::Key_Left: emit changePeriodSampling(cur, false); return;
        case Qt::Key_Right: emit changePeriodSampling(cur, true); return;
        case Qt::Key_Delete: emit deletePressed(cur); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: emit returnPressed(cur); return;
        default: break;
        }
    }
    QTreeWidget::keyPressEvent(e);
}
