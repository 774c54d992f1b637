// brisca-tool: command-line checks and conversions for engineers and scripts.
#include "briscaversion.h"
#include "datacommand.h"
#include "devicecommand.h"
#include "loggercommand.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {
int usage(QTextStream &out, int code)
{
    out << "Usage: brisca-tool [--help] [--version] <command> [args]\n"
           "\n"
           "Commands:\n"
           "  --help       show this text\n"
           "  --version    show the program version\n";
    deviceUsage(out);
    loggerUsage(out);
    dataUsage(out);
    return code;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage(err, 2);
    const QString cmd = args.first();
    if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h"))
        return usage(out, 0);
    if (cmd == QLatin1String("--version")) {
        out << "brisca-tool " << BRISCA_VERSION << "\n";
        return 0;
    }
    if (cmd == QLatin1String("device")) {
        const int rc = runDeviceCommand(args.mid(1), out, err);
        out.flush();
        err.flush();
        return rc;
    }
    if (cmd == QLatin1String("logger") || cmd == QLatin1String("dump") || cmd == QLatin1String("convert")) {
        const int rc = cmd == QLatin1String("logger") ? runLoggerCommand(args.mid(1), out, err)
                       : cmd == QLatin1String("dump") ? runDumpCommand(args.mid(1), out, err)
                                                      : runConvertCommand(args.mid(1), out, err);
        out.flush();
        err.flush();
        return rc;
    }
    err << "brisca-tool: unknown command '" << cmd << "'\n";
    return usage(err, 2);
}
