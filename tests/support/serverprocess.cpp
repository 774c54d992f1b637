#include "serverprocess.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QProcess>

#include <csignal>

namespace {
int g_counter = 0;
} // namespace

EcuServerProcess::EcuServerProcess()
    : m_class(QStringLiteral("BriscaTest%1").arg(QCoreApplication::applicationPid()))
    , m_window(QStringLiteral("server %1").arg(++g_counter))
{
}

EcuServerProcess::~EcuServerProcess()
{
    // SIGTERM first, so the server removes its local socket.
    if (running()) {
        ::kill(pid_t(m_process->processId()), SIGTERM);
        if (!m_process->waitForFinished(3000))
            kill();
    }
    delete m_process;
}

qint64 EcuServerProcess::pid() const { return m_process ? m_process->processId() : 0; }

bool EcuServerProcess::running() const { return m_process && m_process->state() == QProcess::Running; }

bool EcuServerProcess::start(const QStringList &args, QString *error)
{
    kill();
    delete m_process;
    m_port = 0;
    QStringList all = {QStringLiteral("--control")};
    const QStringList defaults = {"--port", "0", "--listen", "127.0.0.1", "--description", TestEcu::jsonFile(),
                                  "--class", m_class, "--winname", m_window};
    for (int i = 0; i < defaults.size(); i += 2)
        if (!args.contains(defaults[i]))
            all << defaults[i] << defaults[i + 1];
    m_process = new QProcess;
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(TestEcu::binDir() + QStringLiteral("/brisca-ecu-server"), all + args);
    while (m_process->waitForStarted(5000) && !m_process->canReadLine() && m_process->waitForReadyRead(5000)) {
    }
    const QByteArray line = m_process->readLine();
    if (line.startsWith("listening "))
        m_port = quint16(line.mid(10).trimmed().toUInt());
    if (m_port == 0 && error)
        *error = QStringLiteral("brisca-ecu-server did not start: %1").arg(QString::fromLocal8Bit(line));
    return m_port != 0;
}

bool EcuServerProcess::command(const QByteArray &line, QByteArray *answer)
{
    return running() && TestEcu::controlCommand(*m_process, line, answer);
}

void EcuServerProcess::kill()
{
    if (!running())
        return;
    m_process->kill();
    m_process->waitForFinished(3000);
}
