// Fuzz target for everything a device file's bytes reach. Each input runs
// twice: as it is, through the checksum, both XML parsers (which must agree)
// and the table readers; and with a correct checksum trailer appended,
// through the real load, so the table rules and messages are reached too.
// Built with libFuzzer when BRISCA_FUZZ is on (clang); otherwise as a
// replay program over the kept inputs in fuzz-corpus/, run by ctest.
#include "devicechecksum.h"
#include "deviceloader.h"
#include "devicetables.h"
#include "fuzzreplay.h"
#include "xmltable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

namespace {
void readTables(const QByteArray &content)
{
    XmlDocument fast, general;
    const bool ok = fast.setContent(content);
    if (ok != general.setContent(content, nullptr, XmlDocument::GeneralParserOnly)
        || (ok && fast.nodeCount() != general.nodeCount()))
        abort(); // the fast parser must never decide differently
    if (!ok)
        return;

    // The readers on whatever tables there are, in any state.
    DeviceModel m;
    XmlTable t;
    t.setDocument(&fast);
    if (t.open("CalibrationScalings"))
        DeviceTables::readScalings(t, m);
    if (t.open("ELFData"))
        DeviceTables::readElfData(t, m);
    m.loggerTable.elfCheckEnabled = m.elf.usable();
    if (t.open("Channels"))
        DeviceTables::readChannels(t, m, DeviceReadOptions());
    DeviceTables::resolveScalings(m);
    DeviceTables::applySizeAndPeriodRules(m, 5, m.loggerTable.elfCheckEnabled);
    if (t.open("TabDataLogger"))
        DeviceTables::readLoggerTable(t, m);
    if (t.open("CAN_Id"))
        DeviceTables::readCanIds(t, m);
    if (t.open("CommunicationLineSettings"))
        DeviceTables::readLineSettings(t, m);
}

void loadStamped(const QByteArray &content)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("device.xml"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    f.write(content + DeviceChecksum::trailer(DeviceChecksum::compute(content)));
    f.close();

    DeviceModel m;
    m.devicePath = path;
    DeviceLoadOptions o;
    o.programFolder = dir.path(); // no crypto library there
    o.italian = !content.isEmpty() && (content.back() & 1);
    o.bothLanguages = true;
    const DeviceLoadResult r = DeviceLoader::load(m, o);
    // A plain file with a correct trailer never fails the check.
    if (r.outcome == DeviceLoadOutcome::BadChecksum || r.outcome == DeviceLoadOutcome::NotOpened)
        abort();
    if (r.loaded() && r.report.channelTexts.size() != m.channels.size())
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    quint16 stored = 0;
    DeviceChecksum::storedValue(content, &stored);
    DeviceChecksum::compute(content);
    readTables(content);
    loadStamped(content);
    return 0;
}

#ifndef BRISCA_LIBFUZZER
int main(int argc, char **argv)
{
    return replayFuzzCorpus(argc, argv, "tests/device/fuzz-corpus", LLVMFuzzerTestOneInput);
}
#endif
