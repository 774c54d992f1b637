#include "datacommand.h"

#include "decodedatalogged.h"
#include "exportnaming.h"
#include "inifile.h"
#include "csvwriter.h"
#include "mdf4writer.h"
#include "mdfwriter.h"
#include "protocoldownload.h"
#include "writer2d.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>
#include <QtEndian>

#include <cstdio>
#include <unistd.h>

namespace {

const char *const triggerNames[] = {"disabled", "continuous", "external", "channel"};
const int periodClasses[8] = {5, 10, 20, 40, 80, 160, 320, 640};

// A dump opened in place, refused with the reason the tool prints.
struct LoadedDump
{
    DumpFile file;
    QString reason;

    bool load(const QString &path)
    {
        if (file.open(path))
            return true;
        reason = file.errorString();
        return false;
    }
};

QString hex32(quint32 v) { return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')); }

quint32 le32(const quint8 *p) { return qFromLittleEndian<quint32>(p); }

QString ecuText(const QByteArray &info)
{
    return QString::fromLatin1(info.constData(), int(qstrnlen(info.constData(), info.size())));
}

int dumpInfo(const QString &path, bool json, QTextStream &out, QTextStream &err)
{
    LoadedDump d;
    if (!d.load(path)) {
        err << "brisca-tool: " << path << ": " << d.reason << "\n";
        return 1;
    }
    const DumpFile &p = d.file;
    const LoggedDownload v = loggedDownload(d.file);
    DecodeDataLogged dec(v);
    dec.getVarDataInAllRun();   // notes a run cut by the end of the download
    const quint8 *head = v.imageHead;
    const int type = head[0];
    const QString typeName = type < 4 ? QLatin1String(triggerNames[type]) : QStringLiteral("unknown (%1)").arg(type);
    const QVector<ChannelInfo> &chs = dec.channels();
    QString triggerChannel;
    if (type == 3) {
        const quint16 pos = qFromLittleEndian<quint16>(head + 2);
        for (const ChannelInfo &c : chs)
            if (c.imageIndex == pos)
                triggerChannel = QString::fromLatin1(c.label);
    }
    const qint32 low = qint32(le32(head + 4)), high = qint32(le32(head + 8));
    const QVector<qint64> lengths = dec.runLengths(), modules = dec.modulesPerRun();
    const QVector<quint64> bytes = dec.bytesPerRun(), starts = dec.runStarts();

    if (json) {
        QJsonObject o;
        o[QStringLiteral("file")] = path;
        o[QStringLiteral("version")] = double(p.version);
        o[QStringLiteral("lastConfigurationReadResult")] = p.configurationReadResult;
        o[QStringLiteral("lastDownloadResult")] = p.downloadResult;
        o[QStringLiteral("pageAlignment")] = double(p.pageAlignment);
        o[QStringLiteral("channelCapacity")] = double(p.capacity);
        o[QStringLiteral("bytesDownloaded")] = double(p.bytesDownloaded);
        o[QStringLiteral("dataBufferSize")] = double(p.dataSize);
        o[QStringLiteral("ecuInfo")] = ecuText(dec.ecuInfo());
        o[QStringLiteral("readTime")] = double(le32(v.header + 32));
        o[QStringLiteral("dataStart")] = double(le32(v.header + 874));
        o[QStringLiteral("dataEnd")] = double(le32(v.header + 870));
        o[QStringLiteral("state")] = v.header[878];
        QJsonObject trig{{QStringLiteral("type"), type}, {QStringLiteral("name"), typeName},
                         {QStringLiteral("delayTenths"), head[1]}};
        if (type == 3) {
            trig[QStringLiteral("channel")] = triggerChannel;
            trig[QStringLiteral("low")] = low;
            trig[QStringLiteral("high")] = high;
        }
        o[QStringLiteral("trigger")] = trig;
        QJsonObject counts;
        for (int i = 0; i < 8; ++i)
            counts[QString::number(periodClasses[i])] = head[12 + i];
        o[QStringLiteral("periodCounts")] = counts;
        QJsonArray ca;
        for (int i = 0; i < chs.size(); ++i) {
            const ChannelInfo &c = chs[i];
            ca.append(QJsonObject{{QStringLiteral("label"), QString::fromLatin1(c.label)},
                                  {QStringLiteral("unit"), QString::fromLatin1(c.unit)},
                                  {QStringLiteral("periodMs"), c.period}, {QStringLiteral("sampleBytes"), c.sampleSize},
                                  {QStringLiteral("signed"), c.isSigned()}, {QStringLiteral("zeroCorrected"), c.zeroCorrected()},
                                  {QStringLiteral("zeroReference"), c.zeroReference},
                                  {QStringLiteral("g1"), double(c.g1)}, {QStringLiteral("o1"), double(c.o1)},
                                  {QStringLiteral("g2"), double(c.g2)}, {QStringLiteral("o2"), double(c.o2)},
                                  {QStringLiteral("address"), hex32(c.address)},
                                  {QStringLiteral("samples"), double(dec.sampleCount(i))}});
        }
        o[QStringLiteral("channels")] = ca;
        QJsonArray ra;
        for (int k = 0; k < dec.numRun(); ++k)
            ra.append(QJsonObject{{QStringLiteral("lengthTicks"), double(lengths[k])}, {QStringLiteral("modules"), double(modules[k])},
                                  {QStringLiteral("bytes"), double(bytes[k])}, {QStringLiteral("start"), double(starts[k])}});
        o[QStringLiteral("runs")] = ra;
        QJsonArray la;
        for (qint64 m : dec.lapMarks())
            la.append(double(m));
        o[QStringLiteral("lapMarks")] = la;
        o[QStringLiteral("totalTimeMs")] = double(dec.totalTime());
        o[QStringLiteral("decodable")] = dec.decodable();
        QStringList diags = dec.diagnostics();
        if (!dec.decodable())
            diags.prepend(dec.refusal());
        o[QStringLiteral("diagnostics")] = QJsonArray::fromStringList(diags);
        out << QJsonDocument(o).toJson(QJsonDocument::Indented);
        return 0;
    }

    out << "Dump file:    " << path << " (version " << p.version << ")\n";
    out << "Results:      configuration read " << p.configurationReadResult << ", download "
        << p.downloadResult << "\n";
    out << "Memory:       " << p.bytesDownloaded << " bytes downloaded of a " << p.dataSize
        << "-byte buffer, page alignment " << p.pageAlignment << ", capacity " << p.capacity << " channels\n";
    out << "ECU info:     " << ecuText(dec.ecuInfo()) << "\n";
    out << "Header:       data " << hex32(le32(v.header + 874)) << " to "
        << hex32(le32(v.header + 870)) << ", state " << v.header[878] << ", read at "
        << le32(v.header + 32) << "\n";
    out << "Trigger:      " << typeName << ", delay " << head[1] / 10.0 << " s";
    if (type == 3)
        out << ", channel '" << triggerChannel << "', low " << low << ", high " << high;
    out << "\n";
    out << "Periods:     ";
    for (int i = 0; i < 8; ++i)
        out << " " << periodClasses[i] << " ms: " << head[12 + i];
    out << "\n";
    out << "Channels:     " << chs.size() << "\n";
    for (int i = 0; i < chs.size(); ++i) {
        const ChannelInfo &c = chs[i];
        out << "  " << QString::number(i).rightJustified(3) << " " << QString::fromLatin1(c.label).leftJustified(16) << " ["
            << QString::fromLatin1(c.unit) << "] " << c.period << " ms, " << c.sampleSize << " byte"
            << (c.isSigned() ? ", signed" : "") << (c.zeroCorrected() ? ", zero " + QString::number(c.zeroReference) : QString())
            << ", (" << c.g1 << " x + " << c.o1 << ") / (" << c.g2 << " x + " << c.o2 << "), " << dec.sampleCount(i)
            << " samples\n";
    }
    out << "Runs:         " << dec.numRun() << ", total " << dec.totalTime() / 1000.0 << " s\n";
    for (int k = 0; k < dec.numRun(); ++k)
        out << "  run " << k << ": " << lengths[k] << " ticks (" << lengths[k] * 5 / 1000.0 << " s), " << modules[k]
            << " modules, " << bytes[k] << " bytes at " << starts[k] << "\n";
    out << "Laps:         " << dec.lapCount();
    for (qint64 m : dec.lapMarks())
        out << " " << m;
    out << "\n";
    if (!dec.decodable())
        out << "Not decodable: " << dec.refusal() << "\n";
    for (const QString &line : dec.diagnostics())
        out << "Diagnostic:   " << line << "\n";
    return 0;
}

struct ConvertOptions
{
    QStringList dumps;
    QString mdf, mdf4, twoD, csv, event, measure, settings;
    bool mdfIsFile = false, mdf4IsFile = false;
};

class Progress
{
public:
    explicit Progress(QTextStream &err) : m_err(err), m_tty(isatty(fileno(stderr))) {}
    void start(const QString &label) { m_label = label; m_last = -1; show(0); }
    void show(int percent)
    {
        if (!m_tty || percent == m_last)
            return;
        m_last = percent;
        m_err << "\r" << m_label << " " << percent << "%\x1b[K";
        m_err.flush();
    }
    void done()
    {
        if (m_tty) {
            m_err << "\r\x1b[K";
            m_err.flush();
        }
    }
    std::function<void(qint64, qint64)> callback()
    {
        return [this](qint64 d, qint64 t) { show(t > 0 ? int(d * 100 / t) : 100); };
    }

private:
    QTextStream &m_err;
    bool m_tty;
    QString m_label;
    int m_last = -1;
};

// A path not yet produced by this call: name, name_2, name_3 ... (before ext).
QString unique(const QString &path, const QString &ext, QSet<QString> *used)
{
    QString stem = path.endsWith(ext) ? path.left(path.size() - ext.size()) : path;
    QString p = stem + ext;
    for (int n = 2; used->contains(p); ++n)
        p = stem + QLatin1Char('_') + QString::number(n) + ext;
    used->insert(p);
    return p;
}

QString eventFor(const QString &base, const QString &given, const QString &remembered)
{
    if (!given.isEmpty())
        return given;
    const QStringList events = ExportNaming::events(base);
    if (remembered != QLatin1String(".") && events.contains(remembered))
        return remembered;
    return events.isEmpty() ? QStringLiteral("default") : events.last();
}

enum class Format { Mdf, Mdf4, TwoD, Csv };

int convertOne(const QString &dumpPath, const ConvertOptions &o, IniFile &ini, Format format, Progress &progress,
               QSet<QString> *used, QTextStream &out, QTextStream &err)
{
    LoadedDump d;
    if (!d.load(dumpPath)) {
        err << "brisca-tool: " << dumpPath << ": " << d.reason << "\n";
        return 1;
    }
    if (d.file.bytesDownloaded == 0) {
        err << "brisca-tool: " << dumpPath << ": the ECU memory was empty, nothing to convert\n";
        return 1;
    }
    DecodeDataLogged dec(loggedDownload(d.file));
    if (!dec.decodable()) {
        err << "brisca-tool: " << dumpPath << ": the configuration cannot be decoded: " << dec.refusal() << "\n";
        return 1;
    }
    const QDateTime now = QDateTime::currentDateTime();
    QString target;
    bool ok;
    QString error;
    if (format == Format::Mdf || format == Format::Mdf4) {
        const bool v4 = format == Format::Mdf4;
        const QString &given = v4 ? o.mdf4 : o.mdf;
        const QString ext = v4 ? QStringLiteral(".mf4") : QStringLiteral(".mdf");
        if (v4 ? o.mdf4IsFile : o.mdfIsFile) {
            target = given;
            QDir().mkpath(QFileInfo(target).absolutePath());
        } else {
            const QString base = given.isEmpty() ? ini.value(QStringLiteral("LastPath_MDF"), QStringLiteral(".")) : given;
            // As the export dialog: MDF 4.10 shares the MDF folder and falls back to its last event.
            const QString lastMdf = ini.value(QStringLiteral("LastEvent_MDF"), QStringLiteral("."));
            const QString event = eventFor(base, o.event, v4 ? ini.value(QStringLiteral("LastEvent_MDF4"), lastMdf) : lastMdf);
            const QString dir = base + QLatin1Char('/') + event;
            QDir().mkpath(dir);
            QString name = o.measure;
            if (!name.isEmpty() && !name.endsWith(ext))
                name += ext;
            if (name.isEmpty())
                name = ExportNaming::measureMdf(ini.intValue(QStringLiteral("FilenameFormatMDF"), 0),
                                                ini.value(QStringLiteral("FilenameDescrMDF"), QStringLiteral("none")), dir, now, ext);
            if (name.isEmpty())
                name = ExportNaming::measureMdf(0, QString(), dir, now, ext);
            target = unique(QDir::cleanPath(dir + QLatin1Char('/') + name), ext, used);
        }
        // As the export dialog presets it after a download.
        const QString comment = ecuText(dec.ecuInfo()) + QLatin1Char('\n');
        progress.start(QFileInfo(dumpPath).fileName() + (v4 ? QStringLiteral(" -> MDF 4") : QStringLiteral(" -> MDF")));
        if (v4) {
            Mdf4Writer w(dec);
            w.setTexts(QString(), QString(), comment);
            w.setProgress(progress.callback());
            ok = w.write(target);
            error = w.errorString();
        } else {
            MdfWriter w(dec);
            w.setTexts(QString(), QString(), comment);
            w.setProgress(progress.callback());
            ok = w.write(target);
            error = w.errorString();
        }
    } else if (format == Format::Csv) {
        QDir().mkpath(o.csv);
        const QString name = o.measure.isEmpty() ? QFileInfo(dumpPath).completeBaseName() : o.measure;
        target = unique(QDir::cleanPath(o.csv + QLatin1Char('/') + name), QString(), used);
        CsvWriter w(dec);
        w.setProgress(progress.callback());
        progress.start(QFileInfo(dumpPath).fileName() + QStringLiteral(" -> CSV"));
        ok = w.write(QFileInfo(target).path(), QFileInfo(target).fileName());
        error = w.errorString();
        if (ok)
            target = w.files().join(QStringLiteral(", "));
    } else {
        const QString base = o.twoD.isEmpty() ? ini.value(QStringLiteral("LastPath_2D"), QStringLiteral(".")) : o.twoD;
        const QString event = eventFor(base, o.event, ini.value(QStringLiteral("LastEvent_2D"), QStringLiteral(".")));
        QString name = o.measure;
        if (name.isEmpty())
            name = ExportNaming::measure2D(ini.intValue(QStringLiteral("FilenameFormat2D"), 0),
                                           ini.value(QStringLiteral("FilenameDescr2D"), QStringLiteral("none")), now);
        if (name.isEmpty())
            name = ExportNaming::measure2D(0, QString(), now);
        target = unique(QDir::cleanPath(base + QLatin1Char('/') + event + QLatin1Char('/') + name), QStringLiteral(".mes"), used);
        if (QFileInfo(target).isDir())
            ExportNaming::removeContent(target);
        else
            QDir().mkpath(target);
        Writer2D w(dec);
        w.setComment(ExportNaming::commentLines(QString()));
        w.setProgress(progress.callback());
        progress.start(QFileInfo(dumpPath).fileName() + QStringLiteral(" -> 2D"));
        ok = w.write(target);
        error = w.errorString();
    }
    progress.done();
    if (!ok) {
        err << "brisca-tool: " << dumpPath << ": " << error << "\n";
        return 1;
    }
    out << dumpPath << " -> " << QDir::toNativeSeparators(target) << "\n";
    out.flush();
    return 0;
}

} // namespace

void dataUsage(QTextStream &out)
{
    out << "  dump info DUMP [--json]\n"
           "               header, configuration read back, runs, laps, samples, diagnostics\n"
           "  convert DUMP... [--mdf FILE|DIR] [--mdf4 FILE|DIR] [--2d DIR] [--csv DIR] [--event NAME]\n"
           "                  [--measure NAME] [--settings INI]\n"
           "               export dumps as MDF 3.30, MDF 4.10, 2D and/or CSV (one file per period),\n"
           "               named as the export dialog names them; without a format option the\n"
           "               default format and folder of the settings\n";
}

int runDumpCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    QStringList rest = args;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    if (rest.size() != 2 || rest[0] != QLatin1String("info")) {
        err << "Usage: brisca-tool dump info DUMP [--json]\n";
        return 2;
    }
    return dumpInfo(rest[1], json, out, err);
}

int runConvertCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    ConvertOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        QString *value = a == QLatin1String("--mdf") ? &o.mdf : a == QLatin1String("--2d") ? &o.twoD
                       : a == QLatin1String("--mdf4") ? &o.mdf4 : a == QLatin1String("--csv") ? &o.csv
                       : a == QLatin1String("--event") ? &o.event : a == QLatin1String("--measure") ? &o.measure
                       : a == QLatin1String("--settings") ? &o.settings : nullptr;
        if (value) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
                err << "brisca-tool: " << a << " needs a value\n";
                return 2;
            }
            *value = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            err << "brisca-tool: unknown option " << a << "\n";
            return 2;
        } else {
            o.dumps.append(a);
        }
    }
    if (o.dumps.isEmpty()) {
        err << "Usage: brisca-tool convert DUMP... [--mdf FILE|DIR] [--mdf4 FILE|DIR] [--2d DIR] [--csv DIR] [--event NAME]"
               " [--measure NAME] [--settings INI]\n";
        return 2;
    }
    o.mdfIsFile = !o.mdf.isEmpty() && o.mdf.endsWith(QLatin1String(".mdf"), Qt::CaseInsensitive) && !QFileInfo(o.mdf).isDir();
    o.mdf4IsFile = !o.mdf4.isEmpty() && !QFileInfo(o.mdf4).isDir()
                   && (o.mdf4.endsWith(QLatin1String(".mf4"), Qt::CaseInsensitive) || o.mdf4.endsWith(QLatin1String(".mdf"), Qt::CaseInsensitive));
    if ((o.mdfIsFile || o.mdf4IsFile) && o.dumps.size() > 1) {
        err << "brisca-tool: --mdf or --mdf4 names one file but " << o.dumps.size() << " dumps are given; name a folder\n";
        return 2;
    }
    IniFile ini(o.settings.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/brisca.ini") : o.settings);
    if (!ini.read() && !o.settings.isEmpty()) {
        err << "brisca-tool: cannot read the settings file " << o.settings << "\n";
        return 2;
    }
    ini.setSection(QStringLiteral("Default"));
    bool mdf = !o.mdf.isEmpty(), twoD = !o.twoD.isEmpty(), mdf4 = !o.mdf4.isEmpty();
    const bool csv = !o.csv.isEmpty();
    if (!mdf && !twoD && !mdf4 && !csv) {
        const QString format = ini.value(QStringLiteral("DefaultFormat"), QStringLiteral("MDF")).toLower();
        mdf = format == QLatin1String("mdf");
        mdf4 = format == QLatin1String("mdf4");
        twoD = !mdf && !mdf4;
    }
    Progress progress(err);
    QSet<QString> used;
    int rc = 0;
    for (const QString &dump : std::as_const(o.dumps)) {
        const std::pair<bool, Format> wanted[] = {{mdf, Format::Mdf}, {mdf4, Format::Mdf4}, {twoD, Format::TwoD}, {csv, Format::Csv}};
        for (const auto &w : wanted) {
            if (w.first && convertOne(dump, o, ini, w.second, progress, &used, out, err) != 0)
                rc = 1;
        }
    }
    return rc;
}
