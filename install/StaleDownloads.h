#pragma once

// Picks what the download folder no longer needs: archives no catalogue entry names and the
// ".download" files failed transfers left behind. It only chooses; the caller moves the
// files to the Trash.

#include <QSet>
#include <QString>
#include <QStringList>

// The absolute paths of the stale files directly inside folder. An archive is stale when its
// file name is not in namesInUse; a ".download" file always is. A path in beingWritten is
// never chosen, nor a folder or a hidden file.
QStringList chooseStaleDownloads(const QString& folder, const QSet<QString>& namesInUse,
                                 const QSet<QString>& beingWritten);
