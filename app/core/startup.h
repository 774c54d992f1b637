#pragma once
// Start-up decisions that need no window: which translation to load and how
// many old dumps to keep.

#include <QString>

class QTranslator;

namespace Startup {

// LC_ALL, else LC_MESSAGES, else LANG: the first that is set and not empty.
QString localeNameFromEnvironment();

// "it" only for a locale name that is exactly "it" in any case ("it_IT" is
// not); everything else gets "en".
QString languageForLocale(const QString &localeName);

// The translation file to install, or an empty string when the source texts
// (Italian) are wanted as they are.
QString translationFile(const QString &programDir, const QString &language);

// Loads Qt's own translation (message-box buttons, file dialogs) for the
// Italian interface; false for English, which Qt speaks already, or when the
// translation is not installed.
bool loadQtTranslation(QTranslator &translator, const QString &language);

// Deletes the oldest "dump*.bin" files of folder (by modification time) so
// that at most keep remain. Returns how many were deleted; failures are
// skipped silently.
int pruneOldDumps(const QString &folder, int keep = 20);

} // namespace Startup
