#include "dumpconversion.h"

#include "loggerprotocol.h"
#include "selexportdatadialog.h"

#include <QFileDialog>
#include <QMessageBox>

namespace DumpConversion {

QString run(QWidget *window, IniFile *settings, LoggerProtocol *protocol, const QString &folder)
{
    if (!protocol)
        return QString();
    QFileDialog dialog(window, QObject::tr("Apri logger dump"), folder, QObject::tr("Logger Dump (*.bin)"));
    dialog.setObjectName(QStringLiteral("dialog_selezione_dump"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().first();
    const QString caption = window ? window->windowTitle() : QStringLiteral("Brisca");
    protocol->saveDownloadState();
    if (!protocol->loadDump(path)) {
        protocol->restoreDownloadState();   // unchanged by the failed load
        QMessageBox::warning(window, caption, QObject::tr("Il file selezionato non e' un logger dump leggibile."));
        return QString();
    }
    if (protocol->bytesDownloaded() == 0) {
        QMessageBox::warning(window, caption,
                             QObject::tr("Il file selezionato non contiene dati da convertire,\nperchè la memoria della ECU era vuota."));
    } else {
        SelExportDataDialog exportDialog(settings, protocol, window, "selExportDataDialog", true);
        exportDialog.setWindowTitle(caption);
        const char *info = reinterpret_cast<const char *>(protocol->readBackViews().header);
        exportDialog.setMdfComment(QString::fromLatin1(info, int(qstrnlen(info, 32))) + QLatin1Char('\n'));
        if (exportDialog.exec() == QDialog::Accepted)
            exportDialog.save();
    }
    protocol->restoreDownloadState();
    return path;
}

} // namespace DumpConversion
