#pragma once
// Choice of the communication server: this PC, a typed address or one of the
// active remote servers.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class DialogChangeServer : public QDialog
{
    Q_OBJECT
public:
    // serverAddress is written only when the dialog is accepted. Each remote
    // server is given as "name,address[,...]".
    DialogChangeServer(QString *serverAddress, const QStringList &activeServers, bool mediumIsServer,
                       QWidget *parent = nullptr);

    QString editedAddress() const { return m_edited; }
    static bool isValidAddress(const QString &address);

public slots:
    void cambioServer(int index);
    void indirizzoIPManuale(const QString &text);
    void accept() override;

private:
    QString *m_serverAddress;
    bool m_mediumIsServer;
    QStringList m_names;
    QStringList m_addresses;
    QString m_edited;
    QLabel *m_title;
    QComboBox *m_combo;
    QLineEdit *m_address;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};
