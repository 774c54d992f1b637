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
} // namespace

QString EcuNetwork::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("needs root for network namespaces and raw frames");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty()
        && !QFileInfo::exists(QStringLiteral("/usr/sbin/ip")) && !QFileInfo::exists(QStringLiteral("/sbin/ip")))
        return QStringLiteral("ip(8) from iproute2 is not installed");
    if (!QFileInfo(simulatorPath()).isExecutable())
        return QStringLiteral("brisca-ecu-eth-sim is not built (%1)").arg(simulatorPath());
    // Root in a restricted container may still be refused namespaces; try once.
    static const QString probe = [] {
        const QString name = QStringLiteral("brisca-%1-probe").arg(QCoreApplication::applicationPid());
        QString error;
        if (!ip({QStringLiteral("netns"), QStringLiteral("add"), name}, &error))
            return QStringLiteral("cannot create network namespaces here: %1").arg(error);
        ip({QStringLiteral("netns"), QStringLiteral("delete"), name});
        return QString();
    }();
    return probe;
}

QString EcuNetwork::simulatorPath()
{
    return TestEcu::binDir() + QStringLiteral("/brisca-ecu-eth-sim");
}

QByteArray EcuNetwork::macFromText(const QString &text)
{
    QByteArray out = QByteArray::fromHex(text.trimmed().toLatin1().replace(':', ""));
    return out.size() == 6 ? out : QByteArray();
}

QString EcuNetwork::macText(const QByteArray &mac) { return QString::fromLatin1(mac.toHex(':')); }

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
            *error = QStringLiteral("ip %1: %2").arg(args.join(QLatin1Char(' ')),
                                                    QString::fromLocal8Bit(p.readAll()).trimmed());
        return false;
    }
    return true;
}

void EcuNetwork::removeStale()
{
    QProcess p;
    p.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")});
    p.waitForFinished(5000);
    const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        if (!name.startsWith(QLatin1String("brisca-")))
            continue;
        if (!pidAlive(name.section(QLatin1Char('-'), 1, 1).toLongLong()))
            ip({QStringLiteral("netns"), QStringLiteral("delete"), name});
    }
    // A host end whose namespace never got its peer.
    const QStringList links = QDir(QStringLiteral("/sys/class/net")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &link : links)
        if (link.startsWith(QLatin1String("bh")) && link.contains(QLatin1Char('x'))
            && !pidAlive(link.mid(2).section(QLatin1Char('x'), 0, 0).toLongLong()))
            ip({QStringLiteral("link"), QStringLiteral("delete"), link});
}

bool EcuNetwork::setUp(QString *error)
{
    const QString why = unavailableReason();
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    tearDown();
    removeStale();
    ip({QStringLiteral("netns"), QStringLiteral("delete"), m_ns});
    if (!ip({QStringLiteral("netns"), QStringLiteral("add"), m_ns}, error))
        return false;
    m_up = true;
    if (!ip({QStringLiteral("link"), QStringLiteral("add"), m_hostIf, QStringLiteral("type"), QStringLiteral("veth"),
             QStringLiteral("peer"), QStringLiteral("name"), m_ecuIf, QStringLiteral("netns"), m_ns},
            error)) {
        tearDown();
        return false;
    }
    // IPv6 chatter on a fresh link is noise in captures.
    QFile v6(QStringLiteral("/proc/sys/net/ipv6/conf/%1/disable_ipv6").arg(m_hostIf));
    if (v6.open(QIODevice::WriteOnly))
        v6.write("1\n");
    v6.close();
    if (!ip({QStringLiteral("link"), QStringLiteral("set"), m_hostIf, QStringLiteral("up")}, error)
        || !ip({QStringLiteral("-n"), m_ns, QStringLiteral("link"), QStringLiteral("set"), m_ecuIf, QStringLiteral("up")},
               error)) {
        tearDown();
        return false;
    }
    QFile addr(QStringLiteral("/sys/class/net/%1/address").arg(m_hostIf));
    if (addr.open(QIODevice::ReadOnly))
        m_hostMac = macFromText(QString::fromLatin1(addr.readAll()));
    if (m_hostMac.size() != 6) {
        if (error)
            *error = QStringLiteral("cannot read the MAC of %1").arg(m_hostIf);
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
        ip({QStringLiteral("netns"), QStringLiteral("delete"), m_ns});
        // The peer normally goes with the namespace; make sure.
        if (QFileInfo::exists(QStringLiteral("/sys/class/net/") + m_hostIf))
            ip({QStringLiteral("link"), QStringLiteral("delete"), m_hostIf});
        m_up = false;
    }
}

int EcuNetwork::startEcu(const QStringList &args, const QByteArray &mac, QString *error)
{
    if (!m_up) {
        if (error)
            *error = QStringLiteral("the network is not set up");
        return -1;
    }
    Ecu ecu;
    ecu.mac = mac.size() == 6 ? mac : QByteArray::fromHex("020000000000");
    if (mac.size() != 6)
        ecu.mac[5] = char(m_ecus.size() + 1);
    QStringList all = {QStringLiteral("netns"), QStringLiteral("exec"), m_ns, simulatorPath(), m_ecuIf,
                       QStringLiteral("--mac"), macText(ecu.mac), QStringLiteral("--quit-on-eof")};
    if (!args.contains(QLatin1String("--description")))
        all << QStringLiteral("--description") << TestEcu::jsonFile();
    all << args;
    ecu.process = new QProcess;
    ecu.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ecu.process->start(QStringLiteral("ip"), all);
    bool ready = false;
    if (ecu.process->waitForStarted(5000)) {
        while (ecu.process->waitForReadyRead(5000) || ecu.process->canReadLine()) {
            if (ecu.process->canReadLine()) {
                ready = ecu.process->readLine().startsWith("ready");
                break;
            }
        }
    }
    if (!ready) {
        if (error)
            *error = QStringLiteral("brisca-ecu-eth-sim did not start (%1)").arg(all.join(QLatin1Char(' ')));
        ecu.process->kill();
        ecu.process->waitForFinished(2000);
        delete ecu.process;
        return -1;
    }
    m_ecus.append(ecu);
    return m_ecus.size() - 1;
}

QByteArray EcuNetwork::ecuMac(int index) const { return m_ecus.value(index).mac; }

bool EcuNetwork::ecuRunning(int index) const
{
    return index >= 0 && index < m_ecus.size() && m_ecus[index].process
           && m_ecus[index].process->state() == QProcess::Running;
}

bool EcuNetwork::command(int index, const QByteArray &line, QByteArray *answer)
{
    if (!ecuRunning(index))
        return false;
    return TestEcu::controlCommand(*m_ecus[index].process, line, answer);
}

void EcuNetwork::stopEcu(int index)
{
    if (!ecuRunning(index))
        return;
    QProcess *p = m_ecus[index].process;
    p->closeWriteChannel(); // --quit-on-eof
    if (!p->waitForFinished(2000)) {
        p->kill();
        p->waitForFinished(2000);
    }
}

void EcuNetwork::killEcu(int index)
{
    if (!ecuRunning(index))
        return;
    QProcess *p = m_ecus[index].process;
    p->kill(); // ip netns exec has exec'd the simulator, so this is its pid
    p->waitForFinished(2000);
}
