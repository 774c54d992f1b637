#pragma once
// Test harness for the server path: runs brisca-ecu-server as its own
// process on 127.0.0.1 with a free port, the test ECU description (testecu.h)
// and a class/window name unique to this test process, and drives its
// simulator through control lines.
//
//     EcuServerProcess server;
//     QVERIFY2(server.start({}, &error), qPrintable(error));
//     lnkObj_openCommunication("127.0.0.1", server.port());
//     server.command("faults drop");                 // EcuSimulator::control
//     server.command("peek 0x40010000 16", &answer); // "ok <hex>"
//     Platform::isServerRunning(server.className(), server.windowName());
//     QVERIFY(server.stop());                        // SIGTERM, exit code 0
//
// Options given to start() replace the defaults of the same name
// (--port, --listen, --description, --class, --winname). The destructor
// kills a server that still runs.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

class EcuServerProcess
{
public:
    static QString programPath();

    EcuServerProcess();
    ~EcuServerProcess();
    EcuServerProcess(const EcuServerProcess &) = delete;
    EcuServerProcess &operator=(const EcuServerProcess &) = delete;

    // Waits until the server listens. On failure *exitCode (when given) holds
    // the program's exit code (3: another server already runs).
    bool start(const QStringList &args = {}, QString *error = nullptr, int *exitCode = nullptr);
    quint16 port() const { return m_port; }
    QString className() const { return m_class; }
    QString windowName() const { return m_window; }
    qint64 pid() const;
    bool running() const;

    bool command(const QByteArray &line, QByteArray *answer = nullptr);
    // SIGTERM and wait; true when the server ended normally with code 0.
    bool stop(int timeoutMs = 3000);
    // SIGKILL: the server gets no chance to clean up.
    void kill();

private:
    QProcess *m_process = nullptr;
    quint16 m_port = 0;
    QString m_class;
    QString m_window;
};
