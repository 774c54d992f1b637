#include "ecuserver.h"

#include "platform/serverpresence.h"
#include "sim/ecusimulator.h"
#include "sim/lnkclient/lnkwire.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>

namespace {
void append32(QByteArray &b, quint32 v)
{
    b.append(char(v >> 24));
    b.append(char(v >> 16));
    b.append(char(v >> 8));
    b.append(char(v));
}
} // namespace

EcuServer::EcuServer(EcuSimulator &simulator, QObject *parent)
    : QObject(parent)
    , m_sim(simulator)
{
}

EcuServer::~EcuServer() { close(); }

bool EcuServer::listen(const QHostAddress &address, quint16 port, const QString &localName, QString *error)
{
    close();
    if (!localName.isEmpty()) {
        // Only a socket nobody answers on is stale; a live one means another server.
        QLocalSocket probe;
        probe.connectToServer(localName);
        if (probe.waitForConnected(300)) {
            if (error)
                *error = QStringLiteral("already running (%1)").arg(localName);
            return false;
        }
        QLocalServer::removeServer(localName);
        m_local = new QLocalServer(this);
        if (!m_local->listen(localName)) {
            if (error)
                *error = QStringLiteral("local socket %1: %2").arg(localName, m_local->errorString());
            close();
            return false;
        }
        connect(m_local, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *s = m_local->nextPendingConnection()) {
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    m_tcp = new QTcpServer(this);
    if (!m_tcp->listen(address, port)) {
        if (error)
            *error = QStringLiteral("port %1: %2").arg(port).arg(m_tcp->errorString());
        close();
        return false;
    }
    connect(m_tcp, &QTcpServer::newConnection, this, &EcuServer::onNewConnection);
    return true;
}

void EcuServer::close()
{
    for (Client *c : std::as_const(m_clients)) {
        if (c->socket) {
            c->socket->disconnect(this);
            c->socket->abort();
            c->socket->deleteLater();
        }
        delete c;
    }
    m_clients.clear();
    m_lockQueue.clear();
    if (m_tcp) {
        m_tcp->close();
        delete m_tcp;
        m_tcp = nullptr;
    }
    if (m_local) {
        m_local->close(); // removes the socket file
        delete m_local;
        m_local = nullptr;
    }
}

quint16 EcuServer::port() const { return m_tcp ? m_tcp->serverPort() : 0; }

QList<quint8> EcuServer::lockQueue() const
{
    QList<quint8> ids;
    for (const Client *c : m_lockQueue)
        ids << c->id;
    return ids;
}

void EcuServer::onNewConnection()
{
    while (QTcpSocket *s = m_tcp->nextPendingConnection()) {
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *c = new Client;
        c->socket = s;
        c->id = m_nextId++;
        if (m_nextId == 0)
            m_nextId = 1;
        m_clients.insert(s, c);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { onReadyRead(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { onDisconnected(s); });
        emit clientsChanged();
    }
}

void EcuServer::onDisconnected(QTcpSocket *socket)
{
    Client *c = m_clients.take(socket);
    if (!c)
        return;
    m_lockQueue.removeAll(c);
    delete c;
    socket->deleteLater();
    emit clientsChanged();
}

void EcuServer::onReadyRead(QTcpSocket *socket)
{
    Client *c = m_clients.value(socket);
    if (!c)
        return;
    c->inbox.append(socket->readAll());
    serve(c);
}

void EcuServer::serve(Client *c)
{
    // The replies of one pass go out in one write: a client that sends its
    // requests ahead gets them back in one go, not one event-loop turn each.
    QByteArray &batch = m_batch;
    batch.resize(0);
    const auto flush = [&] { sendBatch(c->socket); };
    while (!c->waiting && c->inbox.size() >= 4) {
        if (m_sim.loggerFaults().hangUp) {
            c->socket->abort(); // the client is gone after this
            return;
        }
        LnkWire::Reader head(c->inbox.constData(), 4);
        const quint32 len = head.u32();
        if (len < 3 || len > LnkWire::MaxBody) {
            c->socket->abort(); // not our framing: drop the client
            return;
        }
        if (quint32(c->inbox.size()) < 4 + len)
            break;
        const QByteArray body = c->inbox.mid(4, int(len));
        c->inbox.remove(0, int(4 + len));
        LnkWire::Reader r(body.constData(), size_t(body.size()));
        const quint8 op = r.u8();
        const quint16 seq = r.u16();
        bool status = false, memory = false;
        QByteArray results = handle(c, op, body.constData() + 3, body.size() - 3, &status, &memory);
        if (!memory) {
            appendReply(batch, op, seq, status, results);
            continue;
        }
        const FaultPlan::Decision d = m_sim.nextReplyDecision();
        if (d.drop)
            continue;
        if (d.truncateTo >= 0 && results.size() > d.truncateTo)
            results.truncate(d.truncateTo);
        if (d.delayMs <= 0) {
            for (int k = 0; k < d.copies; ++k)
                appendReply(batch, op, seq, status, results);
            continue;
        }
        flush();
        c->waiting = true;
        QPointer<QTcpSocket> socket = c->socket;
        QTimer::singleShot(d.delayMs, this, [this, socket, op, seq, status, results, copies = d.copies] {
            Client *client = socket ? m_clients.value(socket.data()) : nullptr;
            if (!client)
                return;
            QByteArray late;
            for (int k = 0; k < copies; ++k)
                appendReply(late, op, seq, status, results);
            socket->write(late);
            client->waiting = false;
            serve(client);
        });
    }
    flush();
}

void EcuServer::sendBatch(QTcpSocket *socket)
{
    qint64 sent = 0;
    if (socket && socket->bytesToWrite() == 0) {
        // Straight to the kernel while nothing waits in the socket's own
        // buffer: no copy there and no fresh pages for every batch.
        const int fd = int(socket->socketDescriptor());
        while (fd >= 0 && sent < m_batch.size()) {
            const ssize_t n = ::send(fd, m_batch.constData() + sent, size_t(m_batch.size() - sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            sent += n;
        }
    }
    if (socket && sent < m_batch.size())
        socket->write(m_batch.constData() + sent, m_batch.size() - sent);
    m_batch.resize(0); // keeps its capacity for the next batch
}

void EcuServer::appendReply(QByteArray &batch, quint8 op, quint16 seq, bool status, const QByteArray &results)
{
    append32(batch, quint32(4 + results.size()));
    batch.append(char(op));
    batch.append(char(seq >> 8));
    batch.append(char(seq));
    batch.append(char(status ? 1 : 0));
    batch.append(results);
}

QByteArray EcuServer::handle(Client *c, quint8 op, const char *params, int size, bool *status, bool *memory)
{
    LnkWire::Reader r(params, size_t(size));
    QByteArray out;
    *status = false;
    *memory = false;
    switch (op) {
    case LnkWire::Register: {
        const quint16 n = r.u16();
        const char *name = r.bytes(n);
        if (!r.ok())
            break;
        c->name = QString::fromLatin1(name, n);
        out.append(char(c->id));
        *status = true;
        break;
    }
    case LnkWire::Ping:
    case LnkWire::Spacing:
    case LnkWire::FiskCan:
        *status = true;
        break;
    case LnkWire::Lock:
        if (!m_lockQueue.contains(c))
            m_lockQueue.append(c);
        *status = true;
        break;
    case LnkWire::Unlock:
        m_lockQueue.removeAll(c);
        *status = true;
        break;
    case LnkWire::IsMyTurn:
        *status = !m_lockQueue.isEmpty() && m_lockQueue.first() == c && !m_sim.loggerFaults().lockHeld;
        break;
    case LnkWire::InterfacePresent:
        *status = !m_sim.absent();
        break;
    case LnkWire::CanParameters: {
        const quint32 id = r.u32();
        r.u32();
        const quint32 bitRate = r.u32();
        r.u8();
        const bool accepted = r.ok() && id != 0 && bitRate != 0;
        out.append(char(accepted ? 1 : 0));
        *status = r.ok();
        break;
    }
    case LnkWire::TableStart: {
        *memory = true;
        const quint32 space = r.u32();
        const quint32 table = r.ok() && !m_sim.absent() ? m_sim.staticTableAddress(space) : 0xFFFFFFFFu;
        append32(out, table);
        *status = table != 0xFFFFFFFFu;
        break;
    }
    case LnkWire::Read: {
        *memory = true;
        const quint32 space = r.u32(), address = r.u32(), n = r.u32();
        r.u32(); // mode: every read is one block here
        if (!r.ok() || n == 0 || n > LnkWire::MaxRead || m_sim.absent())
            break;
        out.resize(int(n));
        *status = m_sim.read(space, address, out.data(), n);
        if (!*status)
            out.clear();
        break;
    }
    case LnkWire::Write: {
        *memory = true;
        const quint32 space = r.u32(), address = r.u32();
        const quint32 n = quint32(r.left());
        const char *data = r.bytes(n);
        *status = r.ok() && n > 0 && !m_sim.absent() && m_sim.write(space, address, data, n);
        break;
    }
    case LnkWire::ReadVariables: {
        *memory = true;
        const quint32 space = r.u32(), k = r.u32();
        if (!r.ok() || k == 0 || k > r.left() / 8 || m_sim.absent())
            break;
        bool ok = true;
        for (quint32 i = 0; i < k && ok; ++i) {
            const quint32 address = r.u32(), n = r.u32();
            if (quint64(out.size()) + n > LnkWire::MaxRead) {
                ok = false;
                break;
            }
            const int at = out.size();
            out.resize(at + int(n));
            ok = m_sim.read(space, address, out.data() + at, n);
        }
        *status = ok && r.ok();
        if (!*status)
            out.clear();
        break;
    }
    case LnkWire::ListServers: {
        const QStringList entries = m_remoteServers.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        append32(out, quint32(entries.size()));
        out.append(m_remoteServers.toLatin1());
        *status = true;
        break;
    }
    default:
        break;
    }
    return out;
}
