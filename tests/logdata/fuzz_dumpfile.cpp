// Fuzz target for everything a dump file's bytes reach: the protocol
// object's loader and the tool's reader (which must agree), the decoder and
// both writers. Built with libFuzzer when BRISCA_FUZZ is on (clang);
// otherwise as a replay program over the kept inputs in fuzz-corpus/.
#include "dumpfile.h"
#include "loggerprotocol.h"
#include "mdfwriter.h"
#include "protocoldownload.h"
#include "writer2d.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
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
        abort();   // the tool must accept exactly what the window accepts
    if (!loaded)
        return 0;
    const LoggedDownload a = loggedDownload(protocol), b = file.download();
    if (a.memorySize != b.memorySize || a.capacity != b.capacity || a.blockSize != b.blockSize
        || memcmp(a.memory, b.memory, a.memorySize) || memcmp(protocol.readBackBlock(), file.readBack, protocol.readBackLength()))
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
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QString::fromLocal8Bit(qgetenv("BRISCA_SOURCE_DIR")) + "/tests/logdata/fuzz-corpus";
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
