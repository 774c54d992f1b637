#include "loggercommand.h"

#include "communicationmedium.h"
#include "deviceloader.h"
#include "ethernetlink.h"
#include "loggerprotocol.h"
#include "loggersteps.h"
#include "loggerthread.h"
#include "snapshotfile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>

#include <memory>
#include <unistd.h>

namespace {

const quint32 kPeriods[] = {5, 10, 20, 40, 80, 160, 320, 640};

struct Options
{
    QString sub;
    QString device;
    QString server = QStringLiteral("127.0.0.1");
    quint32 port = LoggerSteps::ServerPort;
    QString interfaceName;
    QByteArray ecuMac;
    QString snapshot;
    QString channels;
    QString trigger;
    int delay = 0;
    QString dumpCopy;
    bool clear = false;
};

// Follows the worker: prints a progress line on a terminal and ends the loop
// with the result.
class Progress : public QObject
{
public:
    Progress(QTextStream &out, CommunicationMedium &medium, const char *what)
        : m_out(out), m_medium(medium), m_what(what), m_tty(isatty(STDOUT_FILENO))
    {
    }
    bool event(QEvent *e) override
    {
        if (e->type() == RemainingTimeEvent::EventType) {
            if (m_tty) {
                m_out << "\r" << m_what << ": " << m_medium.currentReadBytes() << " bytes, "
                      << QString::number(static_cast<RemainingTimeEvent *>(e)->remainingMs() * 0.001, 'f', 1)
                      << " s to go   " << Qt::flush;
                m_lineOpen = true;
            }
            return true;
        }
        if (e->type() == LoggerResultEvent::EventType) {
            auto *r = static_cast<LoggerResultEvent *>(e);
            if (m_lineOpen)
                m_out << "\n";
            message = r->message();
            detail = r->detail();
            m_loop.quit();
            return true;
        }
        return QObject::event(e);
    }
    void waitForResult() { m_loop.exec(); }
    QString message;
    QString detail;

private:
    QTextStream &m_out;
    CommunicationMedium &m_medium;
    const char *m_what;
    bool m_tty;
    bool m_lineOpen = false;
    QEventLoop m_loop;
};

int usageError(QTextStream &err, const QString &why)
{
    err << "brisca-tool logger: " << why << "\n";
    return 2;
}

bool parseMac(const QString &text, QByteArray *mac)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return false;
    mac->clear();
    for (const QString &p : parts) {
        bool ok = false;
        const uint b = p.toUInt(&ok, 16);
        if (!ok || b > 255)
            return false;
        mac->append(char(b));
    }
    return true;
}

int parseOptions(const QStringList &args, Options &o, QTextStream &err)
{
    if (args.size() < 2)
        return usageError(err, QStringLiteral("a subcommand and a device file are needed"));
    o.sub = args[0];
    o.device = args[1];
    if (o.sub != QLatin1String("send") && o.sub != QLatin1String("readback") && o.sub != QLatin1String("download"))
        return usageError(err, QStringLiteral("unknown subcommand '%1'").arg(o.sub));
    for (int i = 2; i < args.size(); ++i) {
        const QString a = args[i];
        const bool hasValue = i + 1 < args.size();
        const QString v = hasValue ? args[i + 1] : QString();
        bool ok = true;
        if (a == QLatin1String("--clear")) {
            o.clear = true;
            continue;
        }
        static const QStringList valued = {"--server", "--interface", "--ecu",   "--snapshot",
                                           "--channels", "--trigger", "--delay", "--dump"};
        if (!valued.contains(a))
            return usageError(err, QStringLiteral("unknown option '%1'").arg(a));
        if (!hasValue)
            return usageError(err, QStringLiteral("%1 needs a value").arg(a));
        ++i;
        if (a == QLatin1String("--server")) {
            const int colon = int(v.lastIndexOf(QLatin1Char(':')));
            o.server = colon > 0 ? v.left(colon) : v;
            if (colon > 0)
                o.port = v.mid(colon + 1).toUInt(&ok);
            ok = ok && o.port > 0 && o.port < 65536 && !o.server.isEmpty();
        } else if (a == QLatin1String("--interface")) {
            o.interfaceName = v;
        } else if (a == QLatin1String("--ecu")) {
            ok = parseMac(v, &o.ecuMac);
        } else if (a == QLatin1String("--snapshot")) {
            o.snapshot = v;
        } else if (a == QLatin1String("--channels")) {
            o.channels = v;
        } else if (a == QLatin1String("--trigger")) {
            o.trigger = v;
        } else if (a == QLatin1String("--delay")) {
            o.delay = v.toInt(&ok);
            ok = ok && o.delay >= 0 && o.delay <= 255;
        } else {
            o.dumpCopy = v;
        }
        if (!ok)
            return usageError(err, QStringLiteral("bad value '%1' for %2").arg(v, a));
    }
    if (o.sub == QLatin1String("send") && o.snapshot.isEmpty() && o.channels.isEmpty())
        return usageError(err, QStringLiteral("send needs --channels or --snapshot"));
    return 0;
}

// "name[:period],..." picks channels by factory name, in the order given.
bool selectChannels(DeviceModel &model, const Options &o, QTextStream &err)
{
    for (const QString &item : o.channels.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char(':'));
        auto *ch = const_cast<ChannelRecord *>(model.findChannel(parts[0].toLatin1()));
        if (!ch) {
            err << "brisca-tool logger: no channel '" << parts[0] << "' in the device\n";
            return false;
        }
        if (parts.size() > 1) {
            bool ok = false;
            const quint32 period = parts[1].toUInt(&ok);
            if (!ok || std::find(std::begin(kPeriods), std::end(kPeriods), period) == std::end(kPeriods)
                || period < ch->minPeriodMs) {
                err << "brisca-tool logger: period '" << parts[1] << "' not allowed for " << parts[0] << "\n";
                return false;
            }
            ch->periodMs = period;
        }
        if (!model.selected.contains(ch))
            model.selected.append(ch);
    }
    return true;
}

// "off", "continuous", "external" or "channel:NAME:LOW:HIGH" (raw thresholds).
bool parseTrigger(DeviceModel &model, const Options &o, QTextStream &err)
{
    if (o.trigger.isEmpty())
        return true;
    const QStringList p = o.trigger.split(QLatin1Char(':'));
    TriggerSettings t;
    t.delay = quint8(o.delay);
    bool ok = true;
    if (p[0] == QLatin1String("off") && p.size() == 1) {
        t.type = 0;
    } else if (p[0] == QLatin1String("continuous") && p.size() == 1) {
        t.type = 1;
    } else if (p[0] == QLatin1String("external") && p.size() == 1) {
        t.type = 2;
    } else if (p[0] == QLatin1String("channel") && p.size() == 4) {
        t.type = 3;
        t.channel = model.findChannel(p[1].toLatin1());
        bool lowOk = false, highOk = false;
        t.lowThreshold = p[2].toInt(&lowOk);
        t.highThreshold = p[3].toInt(&highOk);
        ok = t.channel && model.selected.contains(const_cast<ChannelRecord *>(t.channel)) && lowOk && highOk;
    } else {
        ok = false;
    }
    if (!ok) {
        err << "brisca-tool logger: bad trigger '" << o.trigger
            << "' (off, continuous, external or channel:NAME:LOW:HIGH on a selected channel)\n";
        return false;
    }
    model.trigger = t;
    return true;
}

int runOperation(LoggerProtocol &protocol, CommunicationMedium &medium, int operation, QTextStream &out,
                 QTextStream &err, LoggerThread **keep = nullptr)
{
    static const char *const names[] = {"", "send", "download", "read-back", "channel info", "restart"};
    Progress progress(out, medium, names[operation]);
    auto *thread = new LoggerThread(&progress, &protocol, operation);
    thread->start();
    progress.waitForResult();
    thread->wait();
    const int code = thread->resultCode();
    (code == 0 ? out : err) << progress.message << "\n";
    if (!progress.detail.isEmpty())
        (code == 0 ? out : err) << progress.detail << "\n";
    if (keep)
        *keep = thread;
    else
        delete thread;
    return code;
}

void printReadBack(LoggerProtocol &protocol, QTextStream &out)
{
    TriggerSettings trigger;
    quint32 length = 0;
    const QList<ChannelRecord *> decoded = protocol.decodeReadBack(&trigger, &length);
    out << "channels: " << decoded.size() << "\n";
    for (const ChannelRecord *c : decoded)
        out << QStringLiteral("  0x%1 %2 bytes %3 ms %4\n")
                   .arg(c->address, 8, 16, QLatin1Char('0'))
                   .arg(c->loggedBytes)
                   .arg(c->periodMs)
                   .arg(QString::fromLatin1(c->label));
    out << "trigger: type " << trigger.type << " delay " << trigger.delay;
    if (trigger.type == 3 && trigger.channel)
        out << " channel " << QString::fromLatin1(trigger.channel->label) << " low " << trigger.lowThreshold
            << " high " << trigger.highThreshold;
    out << "\nlogged bytes: " << length << "\n";
    qDeleteAll(decoded);
}

} // namespace

void loggerUsage(QTextStream &out)
{
    out << "  logger send DEVICE (--channels NAME[:MS],... | --snapshot FILE.spt)\n"
           "               [--trigger off|continuous|external|channel:NAME:LOW:HIGH] [--delay TENTHS]\n"
           "  logger readback DEVICE\n"
           "  logger download DEVICE [--dump FILE] [--clear]\n"
           "               send a configuration, read it back, or download the logger memory\n"
           "               (the dump goes to the application-data folder; --clear erases the ECU\n"
           "               memory once the dump is written). Each takes --server HOST[:PORT]\n"
           "               (default 127.0.0.1:55162) or --interface NAME [--ecu MAC] for raw\n"
           "               Ethernet; exit 0 done, 1 refused by the ECU or the connection, 2 usage\n";
}

int runLoggerCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    Options o;
    if (const int rc = parseOptions(args, o, err))
        return rc;

    DeviceModel model;
    model.devicePath = o.device;
    DeviceLoadOptions loadOptions;
    loadOptions.programFolder = QCoreApplication::applicationDirPath();
    const DeviceLoadResult loaded = DeviceLoader::load(model, loadOptions);
    if (!loaded.loaded() || !loaded.rebuildLoggerProtocol) {
        err << "brisca-tool logger: " << o.device << " does not load as a device with a logger table\n";
        for (const DeviceMessage &m : loaded.messages)
            err << "  " << m.text << "\n";
        return 1;
    }
    if (o.sub == QLatin1String("send")) {
        if (!o.snapshot.isEmpty()) {
            const SnapshotFile::OpenResult r = SnapshotFile::open(
                o.snapshot, model.channels, model.loggerTable.elfCheckEnabled != 0, model.elf.idStringValue,
                [](const QString &) { return false; });
            if (!r.applied()) {
                err << "brisca-tool logger: " << o.snapshot << ": " << r.message << "\n";
                return 1;
            }
            model.selected = r.selected;
            model.trigger = r.trigger;
        }
        if (!selectChannels(model, o, err) || !parseTrigger(model, o, err))
            return 2;
    }

    bool ethernet = !o.interfaceName.isEmpty();
    EthernetLink *link = nullptr;
    std::unique_ptr<EthernetLink> linkOwner;
    if (ethernet) {
        quint8 mac[6] = {};
        EthernetLink::findInterfaceMac(o.interfaceName, mac);
        linkOwner = std::make_unique<EthernetLink>(o.interfaceName, mac, 10, 1000);
        link = linkOwner.get();
        link->start();
        if (!link->waitUntilReady(3000)) {
            err << "brisca-tool logger: cannot capture on " << o.interfaceName << ": " << link->captureError() << "\n";
            link->stop();
            link->wait();
            return 1;
        }
    }
    int rc = 1;
    {
        CommunicationMedium medium(&ethernet, &link);
        const auto pickEcu = [&medium, &o] {
            if (!o.ecuMac.isEmpty()) {
                medium.setEcuTarget(reinterpret_cast<const quint8 *>(o.ecuMac.constData()));
                return;
            }
            const QList<EcuInfo> &ecus = medium.discoverEcus();
            if (!ecus.isEmpty())
                medium.setEcuTarget(reinterpret_cast<const quint8 *>(ecus.first().mac.constData()));
        };
        if (ethernet)
            pickEcu();
        const LoggerSteps::Connection c = LoggerSteps::connectToEcu(medium, o.server, o.port, model.canSettings, pickEcu);
        QString message;
        if (c != LoggerSteps::Connection::Ready) {
            err << LoggerSteps::connectionMessage(c) << "\n";
        } else if (LoggerSteps::checkDeviceOnEcu(&medium, model.loggerTable, model.elf, model.canSettings, &message)
                   != 0) {
            err << message << "\n";
        } else {
            const LoggerTable original = model.loggerTable;
            if (LoggerSteps::needsResolving(model))
                LoggerSteps::resolveLoggerAddresses(medium, model.loggerTable, model.canSettings.memorySpaceId());
            LoggerProtocol protocol;
            protocol.attachLoggerTable(&model.loggerTable, sizeof(LoggerTable));
            protocol.setIdSource(&model.canSettings);
            protocol.setMedium(&medium);
            if (o.sub == QLatin1String("send")) {
                protocol.setChannelList(model.selected);
                protocol.setTriggerSettings(model.trigger);
                rc = runOperation(protocol, medium, OpSendConfiguration, out, err) == 0 ? 0 : 1;
            } else if (o.sub == QLatin1String("readback")) {
                rc = runOperation(protocol, medium, OpReadConfiguration, out, err) == 0 ? 0 : 1;
                if (rc == 0)
                    printReadBack(protocol, out);
            } else {
                LoggerThread *download = nullptr;
                const int code = runOperation(protocol, medium, OpReadLoggedData, out, err, &download);
                const bool dumped = download->dumpWritten();
                if (dumped)
                    out << "dump: " << download->dumpPath() << " (" << download->bytesDownloaded() << " bytes)\n";
                delete download;
                rc = code == 0 ? 0 : 1;
                if (dumped && !o.dumpCopy.isEmpty() && !protocol.saveDump(o.dumpCopy)) {
                    err << "brisca-tool logger: cannot write " << o.dumpCopy << "\n";
                    rc = 1;
                }
                if (code == 0) {
                    // Erase only what is safely on disk; otherwise just let the logger go on.
                    protocol.setClearMemoryFlag(o.clear && dumped);
                    if (runOperation(protocol, medium, OpClearLoggerMemory, out, err) != 0)
                        rc = 1;
                }
            }
            model.loggerTable = original;
        }
        medium.disconnect();
    }
    if (linkOwner) {
        link->stop();
        link->wait();
    }
    return rc;
}
