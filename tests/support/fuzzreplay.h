#pragma once
// Without libFuzzer a fuzz target is a replay program: it feeds every kept
// input of its corpus folder (argv[1], or the default under the source tree)
// to its LLVMFuzzerTestOneInput, so ctest keeps the found crashes fixed.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

inline int replayFuzzCorpus(int argc, char **argv, const char *defaultCorpus,
                            int (*testOneInput)(const uint8_t *, size_t))
{
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                 : QString::fromLocal8Bit(qgetenv("BRISCA_SOURCE_DIR")) + "/" + defaultCorpus;
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
        testOneInput(reinterpret_cast<const uint8_t *>(d.constData()), size_t(d.size()));
    }
    std::printf("%d inputs replayed\n", int(files.size()));
    return 0;
}
