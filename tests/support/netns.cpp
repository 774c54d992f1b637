#include "netns.h"
#include "testecu.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <unistd.h>

namespace {
int g_counter = 0;

bool pidAlive(qint64 pid) { return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)); }
QString simulatorPath() { return TestEcu::binDir() + QStringLiteral("/brisca-ecu-eth-sim"); }
} // namespace

QString EcuNetwork::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("needs root for network namespaces and raw frames");
    if (QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}).isEmpty())
        return QStringLiteral("ip(8) from iproute2 is not installed");
    if (!QFileInfo(simulatorPath()).isExecutable())
        return QStringLiteral("brisca-ecu-eth-sim is not built (%1)").arg(simulatorPath());
    // Root in a restricted container may still be refused namespaces; try once.
    static const QString probe = [] {
        const QString name = QStringLiteral("brisca-%1-probe").arg(QCoreApplication::applicationPid());
        QString error;
        if (!ip({"netns", "add", name}, &error))
            return QStringLiteral("cannot create network namespaces here: %1").arg(error);
        ip({"netns", "delete", name});
        return QString();
    }();
    return probe;
}

EcuNetwork::EcuNetwork()
{
    const qint64 pid = QCoreApplication::applicationPid();
    const int n = ++g_counter;
    m_ns = QStringLiteral("brisca-%1-%2").arg(pid).arg(n);
    m_hostIf = QStringLiteral("bh%1x%2").arg(pid).arg(n);
    m_ecuIf = QStringLiteral("be%1x%2").arg(pid).arg(n);
}

EcuNetwork::~EcuNetwork() { tearDown(); }

bool EcuNetwork::ip(const QStringList &args, QString *error)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ip"), args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("ip %1: %2").arg(args.join(' '), QString::fromLocal8Bit(p.readAll()).trimmed());
        return false;
    }
    return true;
}

bool EcuNetwork::setUp(QString *error)
{
    tearDown();
    // What a crashed earlier run left: namespaces and host ends of dead pids.
    QProcess list;
    list.start(QStringLiteral("ip"), {"netns", "list"});
    list.waitForFinished(5000);
    for (const QString &line : QString::fromLocal8Bit(list.readAllStandardOutput()).split('\n')) {
        const QString name = line.section(' ', 0, 0);
        if (name.startsWith(QLatin1String("brisca-")) && !pidAlive(name.section('-', 1, 1).toLongLong()))
            ip({"netns", "delete", name});
    }
    for (const QString &link : QDir(QStringLiteral("/sys/class/net")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (link.startsWith(QLatin1String("bh")) && !pidAlive(link.mid(2).section('x', 0, 0).toLongLong()))
            ip({"link", "delete", link});

    m_up = ip({"netns", "add", m_ns}, error);
    if (!m_up || !ip({"link", "add", m_hostIf, "type", "veth", "peer", "name", m_ecuIf, "netns", m_ns}, error)) {
        tearDown();
        return false;
    }
    // IPv6 chatter on a fresh link is noise in captures.
    QFile v6(QStringLiteral("/proc/sys/net/ipv6/conf/%1/disable_ipv6").arg(m_hostIf));
    if (v6.open(QIODevice::WriteOnly))
        v6.write("1\n");
    v6.close();
    QFile addr(QStringLiteral("/sys/class/net/%1/address").arg(m_hostIf));
    if (addr.open(QIODevice::ReadOnly))
        m_hostMac = QByteArray::fromHex(addr.readAll().trimmed().replace(':', ""));
    if (!ip({"link", "set", m_hostIf, "up"}, error) || !ip({"-n", m_ns, "link", "set", m_ecuIf, "up"}, error)
        || m_hostMac.size() != 6) {
        tearDown();
        return false;
    }
    return true;
}

void EcuNetwork::tearDown()
{
    for (int i = 0; i < m_ecus.size(); ++i)
        killEcu(i);
    for (Ecu &e : m_ecus)
        delete e.process;
    m_ecus.clear();
    if (m_up) {
        ip({"netns", "delete", m_ns});
        if (QFileInfo::exists(QStringLiteral("/sys/class/net/") + m_hostIf))
            ip({"link", "delete", m_hostIf});
        m_up = false;
    }
}

int EcuNetwork::startEcu(const QStringList &args, QString *error)
{
    Ecu ecu;
    ecu.mac = QByteArray::fromHex("020000000000");
    ecu.mac[5] = char(m_ecus.size() + 1);
    QStringList all = {"netns", "exec", m_ns, simulatorPath(), m_ecuIf, "--mac", QString(ecu.mac.toHex(':')),
                       "--quit-on-eof"};
    if (!args.contains(QLatin1String("--description")))
        all << "--description" << TestEcu::jsonFile();
    ecu.process = new QProcess;
    ecu.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ecu.process->start(QStringLiteral("ip"), all + args);
    while (m_up && !ecu.process->canReadLine() && ecu.process->waitForReadyRead(5000)) {
    }
    if (!ecu.process->canReadLine() || !ecu.process->readLine().startsWith("ready")) {
        if (error)
            *error = QStringLiteral("brisca-ecu-eth-sim did not start (%1)").arg(all.join(' '));
        ecu.process->kill();
        ecu.process->waitForFinished(2000);
        delete ecu.process;
        return -1;
    }
    ecu.pid = ecu.process->processId(); // ip netns exec has exec'd the simulator
    m_ecus.append(ecu);
    return m_ecus.size() - 1;
}

bool EcuNetwork::command(int index, const QByteArray &line, QByteArray *answer)
{
    if (index < 0 || index >= m_ecus.size() || m_ecus[index].process->state() != QProcess::Running)
        return false;
    return TestEcu::controlCommand(*m_ecus[index].process, line, answer);
}

void EcuNetwork::signalEcu(int index, int signal)
{
    if (index >= 0 && index < m_ecus.size() && m_ecus[index].pid > 0)
        ::kill(pid_t(m_ecus[index].pid), signal);
}

void EcuNetwork::killEcu(int index)
{
    if (index < 0 || index >= m_ecus.size() || m_ecus[index].process->state() == QProcess::NotRunning)
        return;
    m_ecus[index].process->kill();
    m_ecus[index].process->waitForFinished(2000);
}
