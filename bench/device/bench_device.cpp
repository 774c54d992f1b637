// Loading large plain devices: the first load in a fresh process (what the
// program and brisca-tool do), later loads, brisca-tool itself, peak memory,
// each beside a plain read of the same file. Two 20,000-channel files: the
// project's own generator, and one written here the way a DataSet writes
// (inline schema, BOM, CRLF, both languages, some escapes and accents).
#include "devicechecksum.h"
#include "deviceloader.h"
#include "devicesample.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <sys/resource.h>

namespace {
constexpr double TargetMs = 200;

double cpuMs()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

QString ms(double v) { return QString::number(v, 'f', 1) + QStringLiteral(" ms"); }

// Columns and rows as a DataSet with its schema writes them.
QByteArray dataSetDevice(int channels)
{
    const QByteArray nl = "\r\n";
    QByteArray s = "\xEF\xBB\xBF<?xml version=\"1.0\" standalone=\"yes\"?>" + nl + "<DeviceDS>" + nl;
    s += "  <xs:schema id=\"DeviceDS\" xmlns=\"\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\">" + nl;
    s += "    <xs:element name=\"DeviceDS\" msdata:IsDataSet=\"true\" msdata:UseCurrentLocale=\"true\">" + nl
         + "      <xs:complexType>" + nl + "        <xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">" + nl;
    const QList<QPair<QByteArray, QList<QByteArray>>> tables = {
        {"Channels", {"FactoryName", "TabAdr", "Address", "VarNameL0", "VarNameL1", "DescL0", "DescL1", "Unit", "Type",
                      "NByte", "LoggerNBytes", "LoggerMaxPer", "Logger", "Validated", "Channel_ScalingID", "G1", "O1",
                      "G2", "O2"}},
        {"CalibrationScalings", {"ID", "G1", "O1", "G2", "O2"}},
        {"TabDataLogger", {"AvailableBytes", "ChannelsCount_OffLine", "ClearTimeOutSec", "MaxDownloadBuffer",
                           "PageAlignment", "XA_DataBeginAddress", "XA_DataEndAddress", "XA_StartStopAddress",
                           "XA_SetupBeginAddress", "XA_HeaderBeginAddress", "XA_StopLoggerReqAddress",
                           "XA_ClearLoggerDataReqAddress", "XA_LoggerRunAddress", "XA_ChannelInfoBeginAddress",
                           "XA_SpeedChannelAddress"}},
        {"CAN_Id", {"ToEcu_App_CAN_Id", "ToEcu_Kernel_CAN_Id", "App_CAN_Id", "Kernel_CAN_Id"}},
        {"CommunicationLineSettings", {"Line"}},
    };
    for (const auto &t : tables) {
        s += "          <xs:element name=\"" + t.first + "\">" + nl + "            <xs:complexType>" + nl
             + "              <xs:sequence>" + nl;
        for (const QByteArray &c : t.second)
            s += "                <xs:element name=\"" + c + "\" type=\"xs:string\" minOccurs=\"0\" />" + nl;
        s += "              </xs:sequence>" + nl + "            </xs:complexType>" + nl + "          </xs:element>" + nl;
    }
    s += "        </xs:choice>" + nl + "      </xs:complexType>" + nl + "    </xs:element>" + nl + "  </xs:schema>" + nl;
    const auto row = [&](const QByteArray &table, const QList<QByteArray> &columns, const QList<QByteArray> &values) {
        s += "  <" + table + ">" + nl;
        for (int i = 0; i < columns.size(); ++i)
            if (!values[i].isNull())
                s += "    <" + columns[i] + ">" + values[i] + "</" + columns[i] + ">" + nl;
        s += "  </" + table + ">" + nl;
    };
    const QByteArray units[] = {"rpm", "\xC2\xB0" "C", "bar", "%", "km/h"};
    for (int i = 0; i < channels; ++i) {
        const QByteArray n = QByteArray::number(i);
        const bool scaled = i % 4 == 0;
        row("Channels", tables[0].second,
            {"Sig_" + n + ".val[" + QByteArray::number(i % 8) + "]", n,
             "0x" + QByteArray::number(0x40000000 + 4 * i, 16).toUpper(), "Segnale " + n, "Signal " + n,
             (i % 10 == 0 ? "Velocit\xC3\xA0 ruota " : "Valore misurato del segnale ") + n + " (filtrato, canale "
                 + QByteArray::number(i % 64) + ")",
             (i % 7 == 0 ? "Filtered &amp; scaled signal " : "Measured value of signal ") + n + " (filtered, channel "
                 + QByteArray::number(i % 64) + ")",
             units[i % 5], QByteArray::number(i % 2), QByteArray::number(1 << (i % 3)),
             QByteArray::number(1 << (i % 3)), QByteArray::number(5 << (i % 8)), "true", "true",
             scaled ? "SC_" + QByteArray::number(i % 16) : QByteArray(), scaled ? QByteArray() : "0.25",
             scaled ? QByteArray() : "-40", scaled ? QByteArray() : "0", scaled ? QByteArray() : "1"});
    }
    for (int i = 0; i < 16; ++i)
        row("CalibrationScalings", tables[1].second,
            {"SC_" + QByteArray::number(i), "1E-0" + QByteArray::number(i % 4), "0", "0", "1"});
    row("TabDataLogger", tables[2].second,
        {"1048576", "64", "10", "8192", "32", "0x50110000", "0x50210000", "0x50103400", "0x50100400", "0x50100000",
         "0x50103404", "0x50103408", "0x5010340C", "0x50102400", "*1024"});
    row("CAN_Id", tables[3].second, {"0x6A0", "0x6A8", "0x6A1", "0x6A9"});
    row("CommunicationLineSettings", tables[4].second, {"ETHERNET"});
    s += "</DeviceDS>";
    return s + DeviceChecksum::trailer(DeviceChecksum::compute(s));
}

// Runs in a fresh process: plain read, first load, later loads.
int loadRuns(const QString &path, int runs)
{
    QTextStream out(stdout);
    QElapsedTimer t;
    t.start();
    qint64 size = 0;
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        size = f.readAll().size();
    }
    const double readMs = double(t.nsecsElapsed()) / 1e6;

    std::vector<double> later;
    for (int i = 0; i < runs; ++i) {
        DeviceModel model;
        model.devicePath = path;
        DeviceLoadOptions opts;
        opts.programFolder = QCoreApplication::applicationDirPath();
        const double cpu0 = cpuMs();
        t.restart();
        const DeviceLoadResult r = DeviceLoader::load(model, opts);
        const double wall = double(t.nsecsElapsed()) / 1e6, cpu = cpuMs() - cpu0;
        if (!r.loaded()) {
            out << "load failed: " << (r.messages.isEmpty() ? QString() : r.messages.first().text) << "\n";
            return 1;
        }
        if (i > 0) {
            later.push_back(wall);
            continue;
        }
        const DeviceLoadReport &p = r.report;
        out << "  plain read:          " << ms(readMs) << " (" << size << " bytes)\n";
        out << "  first load:          " << ms(wall) << " wall, " << ms(cpu) << " CPU, " << model.channels.size()
            << " channels (target " << TargetMs << " ms)\n";
        out << "    read " << ms(p.msRead) << ", checksum " << ms(p.msChecksum) << ", XML parse " << ms(p.msParse)
            << ", tables " << ms(p.msTables) << "\n";
    }
    std::sort(later.begin(), later.end());
    if (!later.empty())
        out << "  later loads:         " << ms(later[later.size() / 2]) << " median of " << later.size() << "\n";
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    out << "  peak memory:         " << QString::number(double(ru.ru_maxrss) / 1024.0, 'f', 1)
        << " MB (target 150 MB)\n";
    return 0;
}

int measure(const QString &self, const QString &path)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(self, {QStringLiteral("--load"), path, QStringLiteral("5")});
    child.waitForFinished(-1);
    if (child.exitCode() != 0)
        return child.exitCode();
    const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("brisca-tool"));
    if (!QFile::exists(tool))
        return 0;
    std::vector<double> walls;
    for (int i = 0; i < 3; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(tool, {QStringLiteral("device"), path});
        p.waitForFinished(-1);
        walls.push_back(double(t.nsecsElapsed()) / 1e6);
        p.readAll();
    }
    std::sort(walls.begin(), walls.end());
    QTextStream(stdout) << "  brisca-tool device:  " << ms(walls[1]) << " wall, median of 3 processes\n";
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("--load"))
        return loadRuns(args[2], args.size() >= 4 ? args[3].toInt() : 5);

    const int count = args.size() >= 2 ? args[1].toInt() : 20000;
    QTemporaryDir dir;
    const QList<QPair<QString, QByteArray>> files = {
        {QStringLiteral("generated device"), DeviceSample::toDeviceFile(DeviceSample::large(count))},
        {QStringLiteral("DataSet-written device"), dataSetDevice(count)},
    };
    int rc = 0;
    for (int i = 0; i < files.size() && rc == 0; ++i) {
        const QString path = dir.filePath(QStringLiteral("large%1.XML").arg(i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(files[i].second) != files[i].second.size()) {
            QTextStream(stderr) << "cannot write " << path << "\n";
            return 1;
        }
        f.close();
        QTextStream(stdout) << files[i].first << ": " << count << " channels, " << files[i].second.size()
                            << " bytes\n";
        rc = measure(app.applicationFilePath(), path);
    }
    return rc;
}
