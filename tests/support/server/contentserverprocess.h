#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts the stand-alone content server of the build tree on a free port of
// 127.0.0.1 as `server`, with `arguments` after "--port 0", and returns the
// port it says on its first line (0 when it did not start). With `home`,
// the server's home and data folders lie there. Its log goes to `logFile`,
// or nowhere: unread, a pipe would fill and stall it.
int startContentServer(QProcess& server, const QStringList& arguments, const QString& home = {},
                       const QString& logFile = {});
