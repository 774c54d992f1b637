#pragma once
// The communication server with a simulator of the test ECU (testecu.h) on a
// thread of the test process, on 127.0.0.1 and a free port: clients talk to
// it over loopback while the test looks straight into the simulator's memory.
// Header-only; the test links brisca_ecuserver.

#include "ecuserver.h"
#include "sim/ecudescription.h"
#include "sim/ecusimulator.h"
#include "testecu.h"

#include <QThread>

#include <memory>

class ServerOnThread
{
public:
    ~ServerOnThread() { stop(); }

    bool start(const QString &localName = QString(), const QString &remoteServers = QString(), QString *error = nullptr)
    {
        SimDescription description;
        if (!parseSimDescription(TestEcu::json(), description, error))
            return false;
        sim = std::make_unique<EcuSimulator>(description);
        m_thread.start();
        server = new EcuServer(*sim);
        server->setRemoteServers(remoteServers);
        server->moveToThread(&m_thread);
        bool ok = false;
        onServer([&] {
            ok = server->listen(QHostAddress::LocalHost, 0, localName, error);
            port = server->port();
        });
        return ok;
    }
    void stop()
    {
        if (server) {
            onServer([s = server] { delete s; });
            server = nullptr;
        }
        m_thread.quit();
        m_thread.wait();
        sim.reset();
    }
    // Runs f on the server's thread and waits for it.
    template <typename F> void onServer(F f) { QMetaObject::invokeMethod(server, f, Qt::BlockingQueuedConnection); }
    // From any thread: every client loses its connection, nobody answers.
    void kill()
    {
        if (server)
            QMetaObject::invokeMethod(server, [s = server] { s->close(); }, Qt::QueuedConnection);
    }

    std::unique_ptr<EcuSimulator> sim;
    EcuServer *server = nullptr;
    quint16 port = 0;

private:
    QThread m_thread;
};
