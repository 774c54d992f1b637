// brisca-ecu-eth-sim: one simulated ECU answering raw Ethernet frames on an
// interface. Prints "ready <MAC>" on standard output once it listens; reads
// control lines (EcuEthernetFrontEnd::handleCommand) from standard input and
// answers each with one line. Stops on SIGTERM, SIGINT or "quit".

#include "sim/ecudescription.h"
#include "sim/ecuethernet.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
EcuEthernetFrontEnd *g_frontEnd = nullptr;
void onSignal(int)
{
    if (g_frontEnd)
        g_frontEnd->stop();
}

bool parseMac(const QString &text, QByteArray &out)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return false;
    out.clear();
    for (const QString &p : parts) {
        bool ok = false;
        const uint v = p.toUInt(&ok, 16);
        if (!ok || v > 255 || p.size() != 2)
            return false;
        out.append(char(v));
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated ECU on a raw Ethernet interface"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("interface"), QStringLiteral("network interface to serve on"));
    const QCommandLineOption macOpt(QStringLiteral("mac"), QStringLiteral("ECU MAC address (default: the interface's)"),
                                    QStringLiteral("xx:xx:xx:xx:xx:xx"));
    const QCommandLineOption descOpt(QStringLiteral("description"), QStringLiteral("ECU description JSON"),
                                     QStringLiteral("path"));
    const QCommandLineOption faultOpt(QStringLiteral("faults"), QStringLiteral("fault plan, e.g. drop@3,late=300"),
                                      QStringLiteral("spec"));
    const QCommandLineOption linesOpt(QStringLiteral("lines"),
                                      QStringLiteral("discovery description lines separated by |"),
                                      QStringLiteral("text"));
    const QCommandLineOption noLinesOpt(QStringLiteral("no-lines"), QStringLiteral("discovery reply without lines"));
    const QCommandLineOption timeOpt(QStringLiteral("freeze-time"), QStringLiteral("freeze the variables at ms"),
                                     QStringLiteral("ms"));
    const QCommandLineOption eofOpt(QStringLiteral("quit-on-eof"), QStringLiteral("stop when standard input ends"));
    parser.addOptions({macOpt, descOpt, faultOpt, linesOpt, noLinesOpt, timeOpt, eofOpt});
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        fprintf(stderr, "usage: brisca-ecu-eth-sim INTERFACE [options]\n");
        return 2;
    }

    SimDescription description;
    QString error;
    const QString path = parser.isSet(descOpt) ? parser.value(descOpt) : defaultSimDescriptionPath();
    if (!loadSimDescription(path, description, &error)) {
        fprintf(stderr, "brisca-ecu-eth-sim: %s\n", qPrintable(error));
        return 2;
    }
    QByteArray mac(6, '\0');
    if (parser.isSet(macOpt) && !parseMac(parser.value(macOpt), mac)) {
        fprintf(stderr, "brisca-ecu-eth-sim: bad MAC %s\n", qPrintable(parser.value(macOpt)));
        return 2;
    }

    EcuSimulator sim(description);
    if (parser.isSet(faultOpt) && !sim.setFaults(parser.value(faultOpt), &error)) {
        fprintf(stderr, "brisca-ecu-eth-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(timeOpt))
        sim.freezeTime(parser.value(timeOpt).toLongLong());

    EcuEthernetFrontEnd frontEnd(sim, mac);
    if (parser.isSet(noLinesOpt))
        frontEnd.responder().setDescriptionLines({});
    else if (parser.isSet(linesOpt))
        frontEnd.responder().setDescriptionLines(parser.value(linesOpt).split(QLatin1Char('|')));
    if (!frontEnd.open(parser.positionalArguments().constFirst(), &error)) {
        fprintf(stderr, "brisca-ecu-eth-sim: %s\n", qPrintable(error));
        return 1;
    }
    g_frontEnd = &frontEnd;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    const QByteArray m = frontEnd.mac().toHex(':').toUpper();
    printf("ready %s\n", m.constData());
    fflush(stdout);
    const int rc = frontEnd.run(STDIN_FILENO, parser.isSet(eofOpt));
    g_frontEnd = nullptr;
    return rc;
}
