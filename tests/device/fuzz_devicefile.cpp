// Fuzz target for everything a device file's bytes reach: the checksum
// trailer, both XML parsers (which must agree) and the table readers.
// Built with libFuzzer when BRISCA_FUZZ is on (clang); otherwise as a
// replay program over the kept inputs in fuzz-corpus/, run by ctest.
#include "devicechecksum.h"
#include "devicetables.h"
#include "xmltable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    quint16 stored = 0;
    DeviceChecksum::storedValue(content, &stored);
    DeviceChecksum::compute(content);

    XmlDocument fast, general;
    const bool ok = fast.setContent(content);
    if (ok != general.setContent(content, nullptr, XmlDocument::GeneralParserOnly)
        || (ok && fast.nodeCount() != general.nodeCount()))
        abort(); // the fast parser must never decide differently
    if (!ok)
        return 0;

    DeviceModel m;
    XmlTable t;
    t.setDocument(&fast);
    if (t.open(QStringLiteral("CalibrationScalings")))
        DeviceTables::readScalings(t, m);
    if (t.open(QStringLiteral("ELFData"))) {
        DeviceTables::readElfData(t, m);
        m.loggerTable.elfCheckEnabled = m.elf.usable();
    }
    if (t.open(QStringLiteral("Channels"))) {
        DeviceTables::readChannels(t, m, DeviceReadOptions());
        DeviceTables::resolveScalings(m);
        DeviceTables::applySizeAndPeriodRules(m, 5, m.loggerTable.elfCheckEnabled);
    }
    if (t.open(QStringLiteral("TabDataLogger")))
        DeviceTables::readLoggerTable(t, m);
    if (t.open(QStringLiteral("CAN_Id")))
        DeviceTables::readCanIds(t, m);
    if (t.open(QStringLiteral("CommunicationLineSettings")))
        DeviceTables::readLineSettings(t, m);
    return 0;
}

#ifndef BRISCA_LIBFUZZER
int main(int argc, char **argv)
{
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QString::fromLocal8Bit(qgetenv("BRISCA_SOURCE_DIR")) + "/tests/device/fuzz-corpus";
    const QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no inputs in %s\n", qPrintable(dir));
        return 1;
    }
    for (const QString &f : files) {
        QFile file(QDir(dir).filePath(f));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray d = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(d.constData()), size_t(d.size()));
    }
    std::printf("%d inputs replayed\n", int(files.size()));
    return 0;
}
#endif
