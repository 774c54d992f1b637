// Loading a large plain device: time per load, peak memory and the share of
// XML parsing. The device is generated here, then loaded in a fresh process
// so the generator's memory does not count.
#include "deviceloader.h"
#include "devicesample.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <sys/resource.h>

namespace {
int loadRuns(const QString &path, int runs)
{
    QTextStream out(stdout);
    std::vector<double> total, parse, read, checksum, tables;
    int channels = 0;
    for (int i = 0; i < runs; ++i) {
        DeviceModel model;
        model.devicePath = path;
        DeviceLoadOptions opts;
        opts.programFolder = QCoreApplication::applicationDirPath();
        QElapsedTimer t;
        t.start();
        const DeviceLoadResult r = DeviceLoader::load(model, opts);
        total.push_back(double(t.nsecsElapsed()) / 1e6);
        if (!r.loaded()) {
            out << "load failed: " << (r.messages.isEmpty() ? QString() : r.messages.first().text) << "\n";
            return 1;
        }
        channels = int(model.channels.size());
        read.push_back(r.report.msRead);
        checksum.push_back(r.report.msChecksum);
        parse.push_back(r.report.msParse);
        tables.push_back(r.report.msTables);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    const double tm = median(total), pm = median(parse);
    out << "channels loaded:      " << channels << "\n";
    out << "load time (median of " << runs << "): " << QString::number(tm, 'f', 1) << " ms (min "
        << QString::number(*std::min_element(total.begin(), total.end()), 'f', 1) << " ms; target 500 ms)\n";
    out << "  read " << QString::number(median(read), 'f', 1) << " ms, checksum "
        << QString::number(median(checksum), 'f', 1) << " ms, XML parse " << QString::number(pm, 'f', 1)
        << " ms, tables " << QString::number(median(tables), 'f', 1) << " ms\n";
    out << "XML parsing share:    " << QString::number(100.0 * pm / tm, 'f', 0) << " %\n";
    out << "peak memory (maxrss): " << QString::number(double(ru.ru_maxrss) / 1024.0, 'f', 1)
        << " MB (target 150 MB)\n";
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
    const QString path = dir.filePath(QStringLiteral("large.XML"));
    {
        QFile f(path);
        const QByteArray data = DeviceSample::toDeviceFile(DeviceSample::large(count));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
            QTextStream(stderr) << "cannot write " << path << "\n";
            return 1;
        }
        QTextStream(stdout) << "device: " << count << " channels, " << data.size() << " bytes\n";
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(app.applicationFilePath(), {QStringLiteral("--load"), path, QStringLiteral("5")});
    child.waitForFinished(-1);
    return child.exitCode();
}
