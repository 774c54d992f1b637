#include "deviceloader.h"

#include "cryptolibrary.h"
#include "devicechecksum.h"
#include "largebuffer.h"
#include "xmltable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <limits>
#include <memory>

namespace {
// The messages belong to the main window's translation context; the texts
// are marked with QT_TRANSLATE_NOOP so the translation tools still find them.
QString translated(const char *text)
{
    return QCoreApplication::translate("MainAppl", text);
}

void warn(DeviceLoadResult &r, const char *text)
{
    r.messages.append({DeviceMessage::Warning, translated(text)});
}

// A large file goes into a block of its own; content then only refers to it.
QByteArray readWhole(QFile &file, std::unique_ptr<LargeBlock> &block)
{
    const qint64 size = file.size();
    if (size < (qint64(4) << 20) || size > std::numeric_limits<qsizetype>::max() / 2)
        return file.readAll();
    block = std::make_unique<LargeBlock>(size_t(size));
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(block->data() + got, size - got);
        if (n <= 0)
            break;
        got += n;
    }
    const QByteArray more = file.readAll(); // the file grew meanwhile
    if (!more.isEmpty())
        return QByteArray(block->data(), qsizetype(got)) + more;
    return QByteArray::fromRawData(block->data(), qsizetype(got));
}

double msSince(QElapsedTimer &t)
{
    const double ms = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    return ms;
}
} // namespace

bool DeviceLoader::isEncryptedMarker(const QByteArray &firstLine)
{
    QByteArray l = firstLine;
    while (l.endsWith('\n') || l.endsWith('\r'))
        l.chop(1);
    return l == CryptoLibrary::Marker;
}

DeviceLoadResult DeviceLoader::load(DeviceModel &model, const DeviceLoadOptions &options)
{
    DeviceLoadResult r;
    DeviceLoadReport &rep = r.report;
    QElapsedTimer clock;
    clock.start();

    // The library is looked up for every load, whether needed or not.
    const CryptoLibrary crypto(options.programFolder);
    rep.cryptoUsable = crypto.usable();
    rep.cryptoError = crypto.errorString();

    QFile file(model.devicePath);
    if (!file.open(QIODevice::ReadOnly)) {
        r.outcome = DeviceLoadOutcome::NotOpened;
        return r;
    }
    const qint64 markerLength = qint64(qstrlen(CryptoLibrary::Marker));
    // The first line, at most as long as the marker.
    QByteArray firstLine = file.read(markerLength);
    const int eol = firstLine.indexOf('\n');
    if (eol >= 0)
        firstLine.truncate(eol);
    file.close();

    QByteArray content;
    std::unique_ptr<LargeBlock> block; // holds content's bytes for a large plain file
    qsizetype covered = -1;
    if (isEncryptedMarker(firstLine)) {
        rep.encrypted = true;
        if (!crypto.usable()) {
            warn(r, QT_TRANSLATE_NOOP("MainAppl", "Libreria ORVLibCrypt.dll : versione errata o libreria mancante!"));
            r.outcome = DeviceLoadOutcome::CryptoUnavailable;
            return r;
        }
        content = crypto.readFile(model.devicePath);
        covered = DeviceChecksum::coveredLength(content.size(), true);
    } else {
        if (!file.open(QIODevice::ReadOnly)) {
            r.outcome = DeviceLoadOutcome::NotOpened;
            return r;
        }
        content = readWhole(file, block);
        file.close();
        covered = DeviceChecksum::coveredLength(content.size(), false);
    }
    rep.contentSize = content.size();
    rep.msRead = msSince(clock);

    // A content shorter than its trailer has nothing to check against.
    rep.storedChecksumFound = DeviceChecksum::storedValue(content, &rep.storedChecksum);
    if (covered >= 0) {
        rep.computedChecksumValid = true;
        rep.computedChecksum = DeviceChecksum::compute(content.constData(), covered);
    }
    rep.msChecksum = msSince(clock);
    if (covered < 0 || !rep.storedChecksumFound || rep.storedChecksum != rep.computedChecksum) {
        warn(r, QT_TRANSLATE_NOOP("MainAppl", "Checksum non valida!!!"));
        r.outcome = DeviceLoadOutcome::BadChecksum;
        return r;
    }

    XmlDocument doc;
    XmlDocument::Error xmlError;
    if (!doc.setContent(content, &xmlError)) {
        rep.xmlError = xmlError.message;
        rep.xmlErrorLine = xmlError.line;
        rep.xmlErrorColumn = xmlError.column;
        rep.msParse = msSince(clock);
        warn(r, QT_TRANSLATE_NOOP("MainAppl", "Errore di sintassi nel file XML!!!"));
        r.outcome = DeviceLoadOutcome::SyntaxError;
        return r;
    }
    content = QByteArray(); // the tree holds what is needed from here on
    rep.msParse = msSince(clock);

    XmlTable table;
    table.setDocument(&doc);
    // The open table, for the report.
    const auto recordRead = [&rep, &table] {
        DeviceTableRead read{table.name(), int(table.rows().size()), {}};
        const bool singleRow = read.name != QLatin1String("Channels")
                               && read.name != QLatin1String("CalibrationScalings");
        if (singleRow && !table.rows().empty())
            for (const XmlField &f : table.rows().front())
                read.cells.append({f.name(), f.value()});
        rep.tablesRead.append(read);
    };
    const auto note = [&rep, &table, &recordRead](const QString &name, bool found) {
        (found ? rep.tablesFound : rep.tablesMissing).append(name);
        if (found && table.name() == name)
            recordRead();
        return found;
    };

    // Without a logger table the device is refused before anything of the
    // previous one is touched.
    if (!note(QStringLiteral("TabDataLogger"), table.hasTable(QStringLiteral("TabDataLogger")))) {
        r.disableSelectionControls = true;
        warn(r, QT_TRANSLATE_NOOP("MainAppl", "Tabella 'TabDataLogger' mancante, device inadeguato!!!"));
        r.outcome = DeviceLoadOutcome::NoLoggerTableSchema;
        rep.msTables = msSince(clock);
        return r;
    }

    if (note(QStringLiteral("CalibrationScalings"), table.open(QStringLiteral("CalibrationScalings"))))
        DeviceTables::readScalings(table, model);
    else
        warn(r, QT_TRANSLATE_NOOP("MainAppl", "Tabella 'CalibrationScalings' mancante, il device potrebbe essere inadeguato!!!"));

    // From here on the previous device is gone.
    model.clearChannels();
    model.loggerTable = LoggerTable();
    model.canSettings = CanSettings();
    model.trigger.clear();
    r.modelReplaced = true;

    if (note(QStringLiteral("ELFData"), table.open(QStringLiteral("ELFData")))) {
        DeviceTables::readElfData(table, model);
        model.loggerTable.elfCheckEnabled = model.elf.usable() ? 1 : 0;
    }

    if (!note(QStringLiteral("Channels"), table.open(QStringLiteral("Channels")))) {
        model.elf.idStringAddress = 0;
        model.elf.idStringSize = 0;
        r.disableSelectionControls = true;
        r.refillAvailableList = true;
        r.availableElfCheck = model.loggerTable.elfCheckEnabled != 0;
        r.availableNoLoggerTable = false;
        warn(r, QT_TRANSLATE_NOOP("MainAppl", "Tabella 'Channels' mancante, device inadeguato!!!"));
        r.outcome = DeviceLoadOutcome::NoChannelsTable;
        rep.msTables = msSince(clock);
        return r;
    }

    DeviceReadOptions ro;
    ro.maximumPeriodSampling = options.maximumPeriodSampling;
    ro.italian = options.italian;
    QList<int> rows;
    DeviceTables::readChannels(table, model, ro, &rep.notes, &rows,
                               options.bothLanguages ? &rep.channelTexts : nullptr);
    rep.scalingWarnings = DeviceTables::resolveScalings(model, &rep.notes, &rows);
    for (const QString &w : qAsConst(rep.scalingWarnings))
        r.messages.append({DeviceMessage::Warning, w});
    DeviceTables::applySizeAndPeriodRules(model, options.maximumPeriodSampling,
                                          model.loggerTable.elfCheckEnabled != 0, &rep.notes, &rows);

    rep.channelsAccepted = int(model.channels.size());

    // A declared logger table without rows means a device without logger.
    const bool loggerDeclared = table.open(QStringLiteral("TabDataLogger"));
    if (loggerDeclared)
        recordRead();
    bool loggerValid = false;
    if (loggerDeclared && !table.rows().empty()) {
        loggerValid = DeviceTables::readLoggerTable(table, model, &rep.notes);
        rep.loggerTableRead = true;
        rep.loggerTable = model.loggerTable;
    }
    if (!rep.loggerTableRead) {
        model.noLoggerTable = true;
    } else if (!loggerValid) {
        model.clearChannels();
        model.loggerTable = LoggerTable();
        model.trigger.clear();
        r.disableSelectionControls = true;
        r.refillAvailableList = true;
        r.availableElfCheck = false;
        r.availableNoLoggerTable = false;
        warn(r, QT_TRANSLATE_NOOP("MainAppl", "Tabella 'TabDataLogger' incompleta e/o valori presenti non validi!!!"));
        r.outcome = DeviceLoadOutcome::InvalidLoggerTable;
        rep.msTables = msSince(clock);
        return r;
    } else {
        model.noLoggerTable = false;
    }

    model.currentDevicePath = model.devicePath;

    // The CAN tables are optional in practice; a missing one leaves zeros.
    if (note(QStringLiteral("CAN_Id"), table.open(QStringLiteral("CAN_Id"))))
        DeviceTables::readCanIds(table, model);
    if (note(QStringLiteral("CommunicationLineSettings"),
             table.open(QStringLiteral("CommunicationLineSettings"))))
        DeviceTables::readLineSettings(table, model);
    if (note(QStringLiteral("CANLineSettings"), table.open(QStringLiteral("CANLineSettings"))))
        DeviceTables::readCanLineSettings(table, model);
    rep.loggerTable.lineType = model.loggerTable.lineType;

    r.refillAvailableList = true;
    r.availableElfCheck = model.loggerTable.elfCheckEnabled != 0;
    r.availableNoLoggerTable = model.noLoggerTable;
    r.complete = true;
    r.rebuildLoggerProtocol = !model.noLoggerTable;
    r.outcome = DeviceLoadOutcome::Loaded;

    if (model.channels.isEmpty())
        r.messages.append({DeviceMessage::Information, translated(QT_TRANSLATE_NOOP("MainAppl", "Non sono presenti variabili da loggare!!!"))});
    rep.msTables = msSince(clock);
    return r;
}
