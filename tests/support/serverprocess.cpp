#include "serverprocess.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QProcess>

#include <csignal>

namespace {
int g_counter = 0;
} // namespace

QString EcuServerProcess::programPath()
{
    return TestEcu::binDir() + QStringLiteral("/brisca-ecu-server");
}

EcuServerProcess::EcuServerProcess()
    : m_class(QStringLiteral("BriscaTest%1").arg(QCoreApplication::applicationPid()))
    , m_window(QStringLiteral("server %1").arg(++g_counter))
{
}

EcuServerProcess::~EcuServerProcess()
{
    // SIGTERM first, so the server removes its local socket.
    if (running())
        stop();
    delete m_process;
}

qint64 EcuServerProcess::pid() const { return m_process ? m_process->processId() : 0; }

bool EcuServerProcess::running() const { return m_process && m_process->state() == QProcess::Running; }

bool EcuServerProcess::start(const QStringList &args, QString *error, int *exitCode)
{
    kill();
    delete m_process;
    m_port = 0;
    QStringList all = {QStringLiteral("--control")};
    auto option = [&](const char *name, const QString &value) {
        const QString opt = QStringLiteral("--") + QLatin1String(name);
        const int i = args.indexOf(opt);
        if (i >= 0 && i + 1 < args.size()) {
            if (opt == QLatin1String("--class"))
                m_class = args.at(i + 1);
            if (opt == QLatin1String("--winname"))
                m_window = args.at(i + 1);
            return;
        }
        all << opt << value;
    };
    option("port", QStringLiteral("0"));
    option("listen", QStringLiteral("127.0.0.1"));
    option("description", TestEcu::jsonFile());
    option("class", m_class);
    option("winname", m_window);
    all << args;

    m_process = new QProcess;
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(programPath(), all);
    if (m_process->waitForStarted(5000)) {
        while (!m_process->canReadLine() && m_process->waitForReadyRead(5000)) {
        }
        const QByteArray line = m_process->readLine();
        if (line.startsWith("listening "))
            m_port = quint16(line.mid(10).trimmed().toUInt());
    }
    if (m_port != 0)
        return true;
    m_process->waitForFinished(3000);
    if (exitCode)
        *exitCode = m_process->state() == QProcess::NotRunning ? m_process->exitCode() : -1;
    if (error)
        *error = QStringLiteral("brisca-ecu-server did not start (exit code %1)").arg(m_process->exitCode());
    kill();
    return false;
}

bool EcuServerProcess::command(const QByteArray &line, QByteArray *answer)
{
    if (!running())
        return false;
    return TestEcu::controlCommand(*m_process, line, answer);
}

bool EcuServerProcess::stop(int timeoutMs)
{
    if (!running())
        return false;
    ::kill(pid_t(m_process->processId()), SIGTERM);
    if (!m_process->waitForFinished(timeoutMs)) {
        kill();
        return false;
    }
    return m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
}

void EcuServerProcess::kill()
{
    if (!running())
        return;
    m_process->kill();
    m_process->waitForFinished(3000);
}
