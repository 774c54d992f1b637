#pragma once
// Lists the installed device files under the device folder as a tree grouped
// by device family ("NAME.dev" sub-folders) and returns the one picked.

#include <QDialog>
#include <QFileInfo>
#include <QList>

class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

class DialogSelectionDevice : public QDialog
{
    Q_OBJECT
public:
    // deviceFolder is the setting LastPathAllDevice; null when the key is
    // absent, then the program's own folder is used.
    explicit DialogSelectionDevice(const QString &deviceFolder, QWidget *parent = nullptr,
                                   const QString &name = QStringLiteral("dialogSelectionDevice"));

    // The chosen file; null (empty path) until a file row was accepted.
    QFileInfo selectedFile() const { return m_result; }
    QString deviceFolder() const { return m_folder; }
    QTreeWidget *listView() const { return m_list; }

public slots:
    void accept() override;

private slots:
    void itemActivated(QTreeWidgetItem *item);

private:
    QTreeWidgetItem *addRow(QTreeWidgetItem *parent, const QString &text, const QString &data);
    QTreeWidgetItem *addFileRow(QTreeWidgetItem *parent, const QFileInfo &file);
    void buildRows();

    QString m_folder;
    QList<QFileInfo> m_files;
    QFileInfo m_result;
    int m_order = 0;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
