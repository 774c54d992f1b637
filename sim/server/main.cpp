// brisca-ecu-server: the communication server stand-in hosting one simulated
// ECU. Prints "listening <port>" once it serves; stops on SIGTERM or SIGINT
// and removes its local socket. With --control a test harness drives the
// simulator through standard input (tests/support/serverprocess.h). Exit codes: 0 stopped, 1 cannot serve,
// 2 bad arguments or description, 3 another server is already running.

#include "ecuserver.h"

#include "platform/registrykey.h"
#include "platform/serverpresence.h"
#include "sim/ecudescription.h"
#include "sim/ecusimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

const char *const kServerKey = "SOFTWARE\\Orvotek Srl\\Pontis";

QString registryValue(const char *name)
{
    RegistryKey key;
    char buffer[513];
    if (key.open(QStringLiteral("HKEY_LOCAL_MACHINE"), kServerKey, false) && key.queryString(name, buffer, sizeof buffer))
        return QString::fromLocal8Bit(buffer);
    return QString();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ECU communication server with a simulated ECU"));
    parser.addHelpOption();
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("TCP port (default 55162)"),
                                     QStringLiteral("port"), QString::number(EcuServer::DefaultPort));
    const QCommandLineOption listenOpt(QStringLiteral("listen"), QStringLiteral("address to listen on (default all)"),
                                       QStringLiteral("address"));
    const QCommandLineOption descOpt(QStringLiteral("description"), QStringLiteral("ECU description JSON"),
                                     QStringLiteral("path"));
    const QCommandLineOption classOpt(QStringLiteral("class"), QStringLiteral("server class (default: registry)"),
                                      QStringLiteral("name"));
    const QCommandLineOption winOpt(QStringLiteral("winname"), QStringLiteral("server window name (default: registry)"),
                                    QStringLiteral("name"));
    const QCommandLineOption remoteOpt(QStringLiteral("remote-servers"),
                                       QStringLiteral("active remote servers, \"name,address;name,address\" "
                                                      "(default: registry value RemoteServers)"),
                                       QStringLiteral("list"));
    const QCommandLineOption faultOpt(QStringLiteral("faults"), QStringLiteral("simulator fault plan"),
                                      QStringLiteral("spec"));
    const QCommandLineOption timeOpt(QStringLiteral("freeze-time"), QStringLiteral("freeze the variables at ms"),
                                     QStringLiteral("ms"));
    const QCommandLineOption controlOpt(QStringLiteral("control"),
                                        QStringLiteral("read control lines from standard input (EcuSimulator::control) "
                                                       "and stop when it ends"));
    parser.addOptions({portOpt, listenOpt, descOpt, classOpt, winOpt, remoteOpt, faultOpt, timeOpt, controlOpt});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOpt).toUInt(&portOk);
    QHostAddress address = QHostAddress::Any;
    if (!portOk || port > 65535 || (parser.isSet(listenOpt) && !address.setAddress(parser.value(listenOpt)))) {
        fprintf(stderr, "brisca-ecu-server: bad port or listen address\n");
        return 2;
    }
    SimDescription description;
    QString error;
    const QString path = parser.isSet(descOpt) ? parser.value(descOpt) : defaultSimDescriptionPath();
    if (!loadSimDescription(path, description, &error)) {
        fprintf(stderr, "brisca-ecu-server: %s\n", qPrintable(error));
        return 2;
    }
    EcuSimulator sim(description);
    if (parser.isSet(faultOpt) && !sim.setFaults(parser.value(faultOpt), &error)) {
        fprintf(stderr, "brisca-ecu-server: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(timeOpt))
        sim.freezeTime(parser.value(timeOpt).toLongLong());

    QString className = parser.isSet(classOpt) ? parser.value(classOpt) : registryValue("Class");
    QString windowName = parser.isSet(winOpt) ? parser.value(winOpt) : registryValue("WinName");
    if (className.isEmpty() && windowName.isEmpty()) {
        className = QStringLiteral("BriscaEcuServer");
        windowName = QStringLiteral("Brisca ECU server");
    }
    const QString localName = Platform::serverSocketName(className, windowName);
    if (Platform::isServerRunning(className, windowName, 300)) {
        fprintf(stderr, "brisca-ecu-server: already running (%s)\n", qPrintable(localName));
        return 3;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        perror("brisca-ecu-server: socketpair");
        return 1;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    EcuServer server(sim);
    server.setRemoteServers(parser.isSet(remoteOpt) ? parser.value(remoteOpt) : registryValue("RemoteServers"));
    if (!server.listen(address, quint16(port), localName, &error)) {
        fprintf(stderr, "brisca-ecu-server: %s\n", qPrintable(error));
        return error.startsWith(QLatin1String("already running")) ? 3 : 1;
    }
    printf("listening %u\n", server.port());
    fflush(stdout);

    std::unique_ptr<QSocketNotifier> control;
    QByteArray pending;
    if (parser.isSet(controlOpt)) {
        control = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(control.get(), &QSocketNotifier::activated, &app, [&] {
            char chunk[4096];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0) {
                control->setEnabled(false);
                QCoreApplication::quit();
                return;
            }
            pending.append(chunk, int(n));
            int nl;
            while ((nl = pending.indexOf('\n')) >= 0) {
                const QByteArray answer = sim.control(pending.left(nl)) + '\n';
                pending.remove(0, nl + 1);
                fwrite(answer.constData(), 1, size_t(answer.size()), stdout);
                fflush(stdout);
            }
        });
    }
    const int rc = app.exec();
    server.close();
    return rc;
}
