#pragma once
// brisca-ecu-server as its own process on 127.0.0.1 with a free port, the
// test ECU (testecu.h) and a class/window name unique to this test process;
// its simulator is driven through control lines (EcuSimulator::control).
// Options given to start() replace the defaults of the same name. The
// destructor stops a server that still runs.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

class EcuServerProcess
{
public:
    EcuServerProcess();
    ~EcuServerProcess();
    EcuServerProcess(const EcuServerProcess &) = delete;
    EcuServerProcess &operator=(const EcuServerProcess &) = delete;

    // Waits until the server listens.
    bool start(const QStringList &args = {}, QString *error = nullptr);
    quint16 port() const { return m_port; }
    QString className() const { return m_class; }
    QString windowName() const { return m_window; }
    qint64 pid() const;
    bool command(const QByteArray &line, QByteArray *answer = nullptr);
    // SIGKILL: the server gets no chance to clean up.
    void kill();

private:
    bool running() const;
    QProcess *m_process = nullptr;
    quint16 m_port = 0;
    QString m_class;
    QString m_window;
};
