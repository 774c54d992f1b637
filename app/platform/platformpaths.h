#pragma once
// Where the program keeps per-user data, and the folders a first start
// offers for devices, snapshots and measurements.

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

// The device folder of an installation without the client's registry key:
// DEVICE beside the program (native separators).
QString defaultDeviceFolder(const QString &programDir);
// A folder of the user's own for files the program writes: the documents
// folder + "/Brisca/" + name (native separators). Not created here.
QString userDataFolder(const QString &name);
// Creates the folder with its parents when missing; true when it exists after.
bool ensureFolder(const QString &path);

} // namespace Platform
