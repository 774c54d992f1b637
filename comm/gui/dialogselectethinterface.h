#pragma once
// Choice of the network interface for the Ethernet medium.

#include <QDialog>
#include <QStringList>

class QComboBox;

class DialogSelectEthInterface : public QDialog
{
    Q_OBJECT
public:
    // index is written back only when the dialog is accepted.
    DialogSelectEthInterface(int *index, const QStringList &descriptions, QWidget *parent = nullptr);

public slots:
    void selezionaNIC(int index);
    void accept() override;

private:
    int *m_index;
    int m_chosen;
    QComboBox *m_combo;
};
