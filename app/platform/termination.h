#pragma once
// Ctrl+C in the terminal or a polite kill should end the program the way the
// close box does, so that the settings are saved and threads are stopped.

class QCoreApplication;

namespace Platform {

// After this, SIGINT and SIGTERM make app's event loops return (as quit()
// does) instead of killing the process on the spot.
void quitOnTerminationSignals(QCoreApplication *app);

} // namespace Platform
