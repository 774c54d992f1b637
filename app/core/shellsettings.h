#pragma once
// The main window's copies of the settings, and the three moments it meets
// the settings file: the first read (with defaults written when there is no
// file), the reload after the options dialog, and the save at exit.

#include <QString>

class IniFile;

struct ShellSettings
{
    QString mediumType;     // lower case: "pontis" or "ethernet"
    QString nicSystemName;
    QString serverHost;
    QString lastDeviceName;
    QString lastPathAllDevice;
    QString lastPathSnapshot;
    QString lastPath2D;
    QString lastPathMDF;
    QString mdfAuthor;
    QString mdfOrganization;
    int maximumPeriodSampling = 5;
};

namespace ShellSettingsIo {

// The registry key whose "Path" value seeds the device folder of a first start.
inline const char *clientRoot() { return "HKEY_LOCAL_MACHINE"; }
inline const char *clientKey() { return "SOFTWARE\\Orvotek Srl\\PontisClient\\KVTSettings"; }

// Puts the first-start values into section Default and writes the file.
// programDir uses native separators.
void writeDefaults(IniFile &settings, const QString &programDir);

// Reads the file, creating it with defaults when it cannot be read, and
// returns the copies the main window keeps. A device folder that does not
// exist is replaced by programDir; the snapshot and measurement folders by
// the user's default ones (Platform::userDataFolder), created when used.
ShellSettings load(IniFile &settings, const QString &programDir);

// After the options dialog: the edited keys, folders taken as they are.
void reloadAfterOptions(IniFile &settings, const QString &programDir, ShellSettings &s);

// At exit: writes the four keys the window may have changed, but only when
// one of them differs from the file. Returns whether it wrote.
bool saveIfChanged(IniFile &settings, const ShellSettings &s);

} // namespace ShellSettingsIo
