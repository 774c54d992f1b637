#pragma once
// The communication server stand-in: serves LnkClientDll clients over TCP
// (framing in lnkclient/lnkwire.h) from one hosted EcuSimulator, and answers
// on a local socket named after the registry's Class/WinName so the
// application can tell that it runs. Single-threaded: requests of all
// clients are served one at a time in arrival order.
//
// Simulator faults on this path: "absent" fails every memory request and
// the interface check; refused regions fail the requests that touch them;
// each memory reply takes one reply decision (drop: no answer, dup: answered
// twice, trunc=B: at most B data bytes, late=MS: answered MS later);
// "lockheld" keeps the lock with a client nobody sees; "hangup" drops the
// clients.

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

class EcuSimulator;
class QLocalServer;
class QTcpServer;
class QTcpSocket;

class EcuServer : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 55162;

    explicit EcuServer(EcuSimulator &simulator, QObject *parent = nullptr);
    ~EcuServer() override;

    // "name,address;name,address" as returned to ListServers.
    void setRemoteServers(const QString &list) { m_remoteServers = list; }

    // Port 0 picks a free port. An empty local name skips the local socket.
    // Fails when another server answers on the local name, or the port is taken.
    bool listen(const QHostAddress &address, quint16 port, const QString &localName, QString *error);
    void close();
    quint16 port() const;
    int clientCount() const { return m_clients.size(); }
    // Ids of the clients waiting for the lock, the holder first.
    QList<quint8> lockQueue() const;

signals:
    void clientsChanged();

private:
    struct Client
    {
        QPointer<QTcpSocket> socket;
        QByteArray inbox;
        QString name;
        quint8 id = 0;
        bool waiting = false; // a late reply is pending: keep the order
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void serve(Client *client);
    // Returns the reply body after the status byte; *status 1 = done.
    QByteArray handle(Client *client, quint8 op, const char *params, int size, bool *status, bool *memory);
    void sendBatch(QTcpSocket *socket);
    static void appendReply(QByteArray &batch, quint8 op, quint16 seq, bool status, const QByteArray &results);

    EcuSimulator &m_sim;
    QTcpServer *m_tcp = nullptr;
    QLocalServer *m_local = nullptr;
    QHash<QTcpSocket *, Client *> m_clients;
    QList<Client *> m_lockQueue;
    QString m_remoteServers;
    quint8 m_nextId = 1;
    QByteArray m_batch; // the replies of one pass, reused
};
