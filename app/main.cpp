// Entry point of the GUI: translator, main window, event loop.
#include "cryptolibrary.h"
#include "mainappl.h"
#include "startup.h"
#include "termination.h"

#include "briscaversion.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
QtMessageHandler g_previousHandler = nullptr;

// Without a display Qt gives up with a fatal message about platform plugins
// and aborts; say what is actually wrong and leave with an exit code instead.
void guardDisplay(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        const char *display = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "brisca: cannot open the display (DISPLAY=%s).\n"
                     "Start Brisca from a graphical session, or set DISPLAY to a running X server.\n",
                     display && *display ? display : "not set");
        std::fflush(stderr);
        std::_Exit(2);
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int usage(FILE *out, int code)
{
    std::fprintf(out,
                 "Usage: brisca [--help] [--version] [--view FILE] [Qt options]\n"
                 "\n"
                 "Configures and downloads the data logger of an engine control unit.\n"
                 "Settings are kept in brisca.ini next to the program; the interface is\n"
                 "Italian when the locale (LC_ALL, LC_MESSAGES or LANG) is \"it\", else English.\n"
                 "\n"
                 "  --help       show this text\n"
                 "  --version    show the program version\n"
                 "  --view FILE  open a logger dump or an MDF file in the quick-look window\n");
    return code;
}
} // namespace

int main(int argc, char **argv)
{
    // Answered before any window system is touched.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("brisca %s\n", BRISCA_VERSION);
            return 0;
        }
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return usage(stdout, 0);
    }

    QString viewFile;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--view")) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "brisca: --view needs a file\n");
                return usage(stderr, 2);
            }
            viewFile = QString::fromLocal8Bit(argv[i + 1]);
        }
    }

    g_previousHandler = qInstallMessageHandler(guardDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);

    QTranslator translator;
    const QString language = Startup::languageForLocale(Startup::localeNameFromEnvironment());
    const QString file = Startup::translationFile(QCoreApplication::applicationDirPath(), language);
    if (!file.isEmpty() && translator.load(file))
        app.installTranslator(&translator);
    QTranslator qtTranslator;
    if (Startup::loadQtTranslation(qtTranslator, language))
        app.installTranslator(&qtTranslator);

    // One handle on the crypto library for the whole run; device loads share it.
    CryptoLibrary::loadAtStartup(QCoreApplication::applicationDirPath());

    auto *window = new MainAppl(nullptr, QString::fromLocal8Bit(argv[0]));
    const QSize hint = window->sizeHint();
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        window->setGeometry(area.width() / 2 - hint.width() / 2, area.height() / 2 - hint.height() / 2,
                            hint.width(), hint.height());
    }
    window->show();
    if (!viewFile.isEmpty())
        window->openQuickLook(viewFile);
    Platform::quitOnTerminationSignals(&app);
    const int result = app.exec();
    delete window;
    return result;
}
