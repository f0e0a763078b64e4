#pragma once

#include "platform/system/ErrorInfo.h"

#include <QDateTime>
#include <QString>

// The append-only diagnostics log: "<yyyy-MM-dd HH:mm:ss.SSS>  <message>\n" lines in
// $XDG_STATE_HOME/Olvennar/Olvennar.log, written in call order on one serial queue. Never reports a failure.
namespace Diagnostics {
QString logPath();
// Callable from any thread; returns at once. The timestamp is taken at the call.
void log(const QString& message);
// "ERROR [<context>] <description> (domain: <domain>, code: <code>)"
void log(const ErrorInfo& error, const QString& context);
QString errorLine(const ErrorInfo& error, const QString& context);
QString formatLine(const QDateTime& time, const QString& message);
// Blocks until every line logged before the call is on disk (tests and shutdown).
void flush();
// Tests point the log somewhere else; empty restores the standard path.
void setLogPathForTesting(const QString& path);
}
