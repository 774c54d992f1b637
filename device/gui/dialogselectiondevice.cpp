#include "dialogselectiondevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Column { ColDevice = 0, ColData = 1, ColOrder = 2 };
const char *const groupData = "0";
} // namespace

DialogSelectionDevice::DialogSelectionDevice(const QString &deviceFolder, QWidget *parent, const QString &name)
    : QDialog(parent)
{
    setObjectName(name);
    setModal(true);
    setWindowTitle(tr("Seleziona Device"));
    m_folder = deviceFolder.isNull() ? QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
                                     : deviceFolder;

    auto *vmain = new QVBoxLayout(this);
    vmain->setObjectName(QStringLiteral("vmainlayout"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstvuAllDevices"));
    m_list->setMinimumWidth(220);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({tr("Device"), QStringLiteral("data"), QStringLiteral("order")});
    m_list->setColumnHidden(ColData, true);
    m_list->setColumnHidden(ColOrder, true);
    m_list->setRootIsDecorated(true);
    vmain->addWidget(m_list);

    auto *hsel = new QHBoxLayout();
    hsel->setObjectName(QStringLiteral("hselectionlayout"));
    m_ok = new QPushButton(tr("Ok"), this);
    m_ok->setObjectName(QStringLiteral("btnok"));
    m_cancel = new QPushButton(tr("Annulla"), this);
    m_cancel->setObjectName(QStringLiteral("btncancel"));
    hsel->addStretch();
    hsel->addWidget(m_ok);
    hsel->addWidget(m_cancel);
    vmain->addLayout(hsel);

    buildRows();
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(ColOrder, Qt::AscendingOrder);

    connect(m_ok, &QPushButton::released, this, &DialogSelectionDevice::accept);
    connect(m_cancel, &QPushButton::released, this, &DialogSelectionDevice::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item, int) { itemActivated(item); });
    // Return on a row: QTreeWidget reports it as itemActivated.
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item, int) { itemActivated(item); });
}

QTreeWidgetItem *DialogSelectionDevice::addRow(QTreeWidgetItem *parent, const QString &text, const QString &data)
{
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_list);
    item->setText(ColDevice, text);
    item->setText(ColData, data);
    item->setText(ColOrder, QStringLiteral("%1").arg(m_order++, 6, 10, QLatin1Char('0')));
    return item;
}

QTreeWidgetItem *DialogSelectionDevice::addFileRow(QTreeWidgetItem *parent, const QFileInfo &file)
{
    m_files.append(file);
    // "data" refers to the file record: its 1-based position in the list.
    const QString name = file.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return addRow(parent, dot > 0 ? name.left(dot) : name, QString::number(m_files.size()));
}

void DialogSelectionDevice::buildRows()
{
    const QDir root(QDir::fromNativeSeparators(m_folder));
    const QFileInfoList families = root.entryInfoList({QStringLiteral("*.dev")}, QDir::Dirs | QDir::NoDotAndDotDot,
                                                      QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &family : families) {
        const QString base = family.fileName().section(QLatin1Char('.'), 0, 0);
        const QFileInfoList listed = QDir(family.absoluteFilePath())
                                         .entryInfoList({base + QStringLiteral("*.xml")}, QDir::Files,
                                                        QDir::Name | QDir::IgnoreCase);
        const int m = int(listed.size());
        QTreeWidgetItem *group = nullptr;
        for (const QFileInfo &f : listed) {
            if (!f.fileName().startsWith(base + QLatin1Char('.'), Qt::CaseInsensitive))
                continue;
            if (m == 1) {
                addFileRow(nullptr, f);
                continue;
            }
            if (!group) {
                group = addRow(nullptr, base, QLatin1String(groupData));
                group->setExpanded(true);
            }
            addFileRow(group, f);
        }
    }

    const QFileInfoList others = root.entryInfoList({QStringLiteral("*.xml")}, QDir::Files,
                                                    QDir::Name | QDir::IgnoreCase);
    if (!others.isEmpty()) {
        QTreeWidgetItem *group = addRow(nullptr, tr("Altri device"), QLatin1String(groupData));
        group->setExpanded(true);
        for (const QFileInfo &f : others)
            addFileRow(group, f);
    }
}

void DialogSelectionDevice::itemActivated(QTreeWidgetItem *item)
{
    if (item)
        m_list->setCurrentItem(item);
    accept();
}

void DialogSelectionDevice::accept()
{
    QTreeWidgetItem *item = m_list->currentItem();
    if (!item) {
        reject();
        return;
    }
    const QString data = item->text(ColData);
    if (data == QLatin1String(groupData))
        return; // a group: stay open
    const int index = data.toInt() - 1;
    if (index < 0 || index >= m_files.size())
        return;
    m_result = m_files.at(index);
    QDialog::accept();
}
