#pragma once
// Where the program keeps per-user data, and what counts as its drive.

#include <QString>

namespace Platform {

// $APPDATA when set (tests point it at a temporary folder), else the per-user
// generic data folder.
QString appDataRoot();
// appDataRoot() + "/Orvotek/Brisca": the dump folder.
QString briscaDataFolder();
// Creates appDataRoot()/Orvotek and then .../Orvotek/Brisca when missing.
// Failures are not reported; callers go on without the folder.
void ensureBriscaDataFolder();
// The first component of the program's folder; "/" on Linux.
QString installationDrive(const QString &programDir);

} // namespace Platform
