#include "loggerthread.h"

#include "communicationmedium.h"
#include "loggerprotocol.h"
#include "platformpaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {
const QString kClientName = QStringLiteral("Brisca");
// A pass that finds no ECU returns at once on some media; this keeps the
// polling from spinning a core while still answering ESC promptly.
const int kPollPauseMs = 50;

QString internalError(int operation)
{
    return LoggerThread::tr("Errore interno, LoggerThread::run() - ") + QString::number(operation);
}

QString sendDetail(int code, const QString &lastError)
{
    switch (code) {
    case 1: return LoggerThread::tr("Connessione al server non effettuata o LNKClientDll.dll mancante! - ");
    case 2: return LoggerThread::tr("Scaduto il timeout della richiesta di interruzione della sessione logger! - ");
    case 3: return LoggerThread::tr("Configurazione logger in ECU non ricevuta correttamente! - ");
    case 4: return LoggerThread::tr("Checksum errata! - ");
    case 5: return LoggerThread::tr("Scaduto il timeout per la cancellazione della memoria flash! - ");
    case 6: return LoggerThread::tr("Connessione alla ECU via Ethernet, non effettuata!!! - ");
    case 7:
        return LoggerThread::tr("Attenzione!!! Correggere nel database la dimensione delle seguenti variabili :")
               + lastError + QStringLiteral(" - ");
    case 8: return LoggerThread::tr("Lock del server non riuscito nel tempo previsto - ");
    default: return QString();
    }
}

// Code 5 and unknown codes have no text at all: the message is the code alone.
QString downloadText(int code)
{
    const QString failed = LoggerThread::tr("Errore nella lettura della configurazione e della memoria logger\n");
    switch (code) {
    case 1: return failed + LoggerThread::tr("Connessione al server non effettuata o LNKClientDll.dll mancante! - ");
    case 2:
        return failed
               + LoggerThread::tr("Scaduto il timeout della richiesta di interruzione della sessione logger! - ");
    case 3: return failed + LoggerThread::tr("Configurazione logger in ECU non ricevuta correttamente! - ");
    case 4: return failed + LoggerThread::tr("Dati logger della memoria ECU non ricevuti! - ");
    case 6: return failed + LoggerThread::tr("Connessione alla ECU via Ethernet, non effettuata!!! - ");
    case 7: return LoggerThread::tr("Attenzione!!!\n") + LoggerThread::tr("Memoria ECU vuota, dati non presenti! - ");
    case 8: return failed + LoggerThread::tr("Lock del server non riuscito nel tempo previsto - ");
    case 9:
        return LoggerThread::tr("Errore nei parametri di stato del logger\n")
               + LoggerThread::tr("Valore non valido degli indici per il salvataggio dei dati  (FlashFR > FlashFW) - ");
    default: return QString();
    }
}

QString readConfigurationDetail(int code)
{
    switch (code) {
    case 1: return LoggerThread::tr("Configurazione logger in ECU non ricevuta correttamente! - ");
    case 2: return LoggerThread::tr("Checksum errata, nella modalità tabella statica! - ");
    case 8: return LoggerThread::tr("Lock del server non riuscito nel tempo previsto - ");
    default: return QString();
    }
}

QString channelInfoDetail(int code)
{
    switch (code) {
    case 1: return LoggerThread::tr("Connessione al server non effettuata o LNKClientDll.dll mancante! - ");
    case 3: return LoggerThread::tr("Configurazione logger in ECU non ricevuta correttamente! - ");
    case 4: return LoggerThread::tr("Checksum errata! - ");
    case 6: return LoggerThread::tr("Connessione alla ECU via Ethernet, non effettuata!!! - ");
    case 8: return LoggerThread::tr("Lock del server non riuscito nel tempo previsto - ");
    default: return QString();
    }
}
} // namespace

LoggerThread::LoggerThread(QObject *receiver, LoggerProtocol *protocol, int operation)
    : m_receiver(receiver), m_operation(operation)
{
    if (operation >= OpSendConfiguration && operation <= OpClearLoggerMemory)
        m_protocol = protocol;
}

LoggerThread::LoggerThread(QObject *receiver, WaitForEcuContext *context, int operation)
    : m_receiver(receiver), m_operation(operation)
{
    if (operation < OpSendConfiguration || operation > OpClearLoggerMemory)
        m_context = context;
}

LoggerThread::~LoggerThread()
{
    m_stopRequested = true;
    wait();
}

QString LoggerThread::resultMessage(int operation, int code, const QString &lastError)
{
    const QString number = QString::number(code);
    switch (operation) {
    case OpSendConfiguration:
        if (code == 0)
            return tr("Configurazione inviata con successo!!!");
        return tr("Errore nell'invio della configurazione\n") + sendDetail(code, lastError) + number;
    case OpReadLoggedData:
        if (code == 0)
            return tr("Lettura della memoria logger,\neffetuata con successo!!!");
        return downloadText(code) + number;
    case OpReadConfiguration:
        if (code == 0)
            return tr("Lettura della configurazione del logger,\neffetuata con successo!!!");
        return tr("Errore nella lettura della configurazione logger\n") + readConfigurationDetail(code) + number;
    case OpSendChannelInfo:
        if (code == 0)
            return tr("Impostazioni canali inviate con successo!!!");
        return tr("Errore nell'invio delle impostazioni canali\n") + channelInfoDetail(code) + number;
    case OpClearLoggerMemory:
        if (code == 0)
            return tr("Cancellazione memoria logger,\neffetuata con successo!!!");
        if (code == 5)
            return tr("Errore nella lettura della configurazione e della memoria logger\n")
                   + tr("Scaduto il timeout per la cancellazione della memoria flash! - ") + number;
        return number;
    case OpWaitForEcu:
        if (code == 0)
            return tr("ECU collegata e pronta per il download! - ") + number;
        return internalError(operation);
    default:
        return number;
    }
}

bool LoggerThread::ecuReady(const WaitForEcuContext &context)
{
    CommunicationMedium *medium = context.medium;
    const quint32 space = context.can->memorySpaceId();
    const bool ethernet = medium->usesEthernet();
    if (medium->connect(kClientName, *context.serverHost, context.port, space)) {
        if (ethernet)
            return true;
        // A copy: a library without the extended call zeroes the byte, and
        // the device's line type must survive the pass.
        quint32 lineType = context.can->lineType;
        medium->setCanParameters(context.can->appCanId, 0, context.can->bitRate, lineType);
        quint32 table = 0xFFFFFFFFu;
        if (medium->staticTableStart(space, table) && table != 0xFFFFFFFFu)
            return true;
        medium->disconnect();
        return false;
    }
    if (!ethernet)
        return false;
    // The next connect finds an ECU that answers now.
    if (medium->checkEcuPresence() == 0)
        return false;
    const QList<EcuInfo> &ecus = medium->discoverEcus();
    if (ecus.isEmpty() || ecus.first().mac.size() < 6)
        return false;
    medium->setEcuTarget(reinterpret_cast<const quint8 *>(ecus.first().mac.constData()));
    if (medium->ecuTargetValid())
        medium->checkEcuPresence();
    return false;
}

QString LoggerThread::dumpFolder() { return Platform::briscaDataFolder(); }

void LoggerThread::runDownload(QString *detail)
{
    m_resultCode = m_protocol->readLoggedData(m_receiver);
    m_bytesDownloaded = m_protocol->bytesDownloaded();

    // Written whatever the outcome: a half download is still worth keeping.
    Platform::ensureBriscaDataFolder();
    const QDir folder(dumpFolder());
    const QDateTime now = QDateTime::currentDateTime();
    QString path = folder.filePath(LoggerProtocol::dumpFileName(now));
    // Two downloads within one second must not overwrite each other.
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(LoggerProtocol::dumpFileName(now).replace(QLatin1String(".bin"),
                                                                          QStringLiteral("_%1.bin").arg(n)));
    m_dumpPath = path;
    m_dumpWritten = m_protocol->saveDump(path);

    if (m_resultCode != 0) {
        *detail = tr("Byte ricevuti dalla memoria logger: %1").arg(m_bytesDownloaded) + QLatin1Char('\n')
                  + (m_dumpWritten ? tr("File dump: %1").arg(QDir::toNativeSeparators(path))
                                   : tr("File dump non salvato!"));
    } else if (!m_dumpWritten) {
        *detail = tr("File dump non salvato!");
    }
}

void LoggerThread::run()
{
    m_stopRequested = false;
    QString message;
    QString detail;
    while (m_operation != 0 && !m_stopRequested) {
        const int op = m_operation;
        switch (op) {
        case OpSendConfiguration:
        case OpReadLoggedData:
        case OpReadConfiguration:
        case OpSendChannelInfo:
        case OpClearLoggerMemory: {
            m_operation = 0;
            if (!m_protocol) {
                m_resultCode = op;
                message = internalError(op);
                break;
            }
            QString lastError;
            if (op == OpSendConfiguration) {
                m_resultCode = m_protocol->sendConfiguration();
                if (m_resultCode == 7)
                    lastError = m_protocol->takeLastError();
            } else if (op == OpReadLoggedData) {
                runDownload(&detail);
            } else if (op == OpReadConfiguration) {
                m_resultCode = m_protocol->readConfiguration(false);
            } else if (op == OpSendChannelInfo) {
                m_resultCode = m_protocol->sendChannelInfo();
            } else {
                m_resultCode = m_protocol->restartLogger(m_protocol->clearMemoryFlag());
            }
            message = resultMessage(op, m_resultCode, lastError);
            break;
        }
        case OpWaitForEcu:
            if (!m_context || !m_context->medium || !m_context->can || !m_context->serverHost) {
                m_operation = 0;
                m_resultCode = OpWaitForEcu;
                message = internalError(OpWaitForEcu);
                break;
            }
            if (ecuReady(*m_context)) {
                m_operation = 0;
                m_resultCode = 0;
                message = resultMessage(OpWaitForEcu, 0);
            } else {
                for (int slept = 0; slept < kPollPauseMs && !m_stopRequested; slept += 10)
                    msleep(10);
            }
            break;
        default:
            m_operation = 0;
            m_resultCode = 0;
            break;
        }
    }
    if (m_receiver)
        QCoreApplication::postEvent(m_receiver,
                                    new LoggerResultEvent(message, m_resultCode == 0 ? -1 : m_resultCode, detail));
}
