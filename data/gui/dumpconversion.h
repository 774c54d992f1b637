#pragma once
// "Conversione dump...": an earlier dump is loaded in place of the current
// download, exported through the export dialog as after a live download, and
// the live download is put back. The main window's slot disables and
// re-enables its menus around the call.

#include <QString>

class IniFile;
class LoggerProtocol;
class QWidget;

namespace DumpConversion {
// Asks for the dump (starting in folder), then exports it. Nothing happens
// without a protocol object. Returns the dump when it could be read.
QString run(QWidget *window, IniFile *settings, LoggerProtocol *protocol, const QString &folder);
}
