// Fuzz target for everything a dump file's bytes reach: the dump reader on a
// mapped file and on bytes in memory (which must agree), the protocol
// object's loader built on it, the decoder and both writers. Built with libFuzzer when BRISCA_FUZZ is on (clang);
// otherwise as a replay program over the kept inputs in fuzz-corpus/.
#include "fuzzreplay.h"
#include "loggerprotocol.h"
#include "mdfwriter.h"
#include "protocoldownload.h"
#include "writer2d.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

// Reads every byte of every sample the decoder hands out.
quint32 touchSamples(const QList<SampleList> *lists)
{
    quint32 sum = 0;
    for (int c = 0; lists && c < lists->size(); ++c)
        for (SampleList::Cursor cur((*lists)[c]); !cur.atEnd();) {
            const quint8 *p = cur.next();
            for (int b = 0; b < (*lists)[c].channel->sampleSize; ++b)
                sum += p[b];
        }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = dir.filePath(QStringLiteral("dump.bin"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            abort();
    }
    LoggerProtocol protocol;
    DumpFile file;
    const bool loaded = protocol.loadDump(path);
    if (loaded != file.openBytes(bytes))
        abort();
    if (!loaded)
        return 0;
    const LoggedDownload a = loggedDownload(protocol), b = loggedDownload(file);
    if (a.memorySize != b.memorySize || a.capacity != b.capacity || a.blockSize != b.blockSize
        || memcmp(a.memory, b.memory, a.memorySize)
        || protocol.readBackLength() != file.readBackBlock().size()
        || memcmp(protocol.readBackBlock(), file.readBack(), protocol.readBackLength()))
        abort();

    DecodeDataLogged d(a);
    touchSamples(d.getVarDataInAllRun());
    for (int k = -1; k <= d.numRun(); ++k)
        touchSamples(d.getVarDataInRun(k));
    if (size <= (64 << 10) && d.decodable()) {
        MdfWriter(d).write(dir.filePath(QStringLiteral("m.mdf")));
        const QString mes = dir.filePath(QStringLiteral("m.mes"));
        QDir().mkpath(mes);
        Writer2D(d).write(mes);
    }
    return 0;
}

#ifndef BRISCA_LIBFUZZER
int main(int argc, char **argv)
{
    return replayFuzzCorpus(argc, argv, "tests/logdata/fuzz-corpus", LLVMFuzzerTestOneInput);
}
#endif
