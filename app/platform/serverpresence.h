#pragma once
// Whether the local communication server runs. On Windows this asks for the
// server's window by class and title; here the server listens on a local
// socket named after the same two strings, and we ask whether it answers.

#include <QString>

namespace Platform {

QString serverSocketName(const QString &className, const QString &windowName);
bool isServerRunning(const QString &className, const QString &windowName, int timeoutMs = 200);

} // namespace Platform
