#pragma once

// Picks what the download folder no longer needs: archives no catalogue entry names, and the
// partial downloads (".download", with the ".download.plist" that lets a transfer resume it)
// that are old or of an archive no entry names. It only chooses; the caller moves the files
// to the Trash.

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

// The absolute paths of the stale files directly inside folder. An archive is stale when its
// file name is not in namesInUse. A partial download stays while namesInUse has its archive
// and it changed less than a week before now; its resume state goes and stays with it. A path
// in beingWritten is never chosen, nor its resume state, a folder or a hidden file.
QStringList chooseStaleDownloads(const QString& folder, const QSet<QString>& namesInUse,
                                 const QSet<QString>& beingWritten,
                                 const QDateTime& now = QDateTime::currentDateTimeUtc());
// Whether the file is a partial download or its resume state: removed, not put in the Trash.
bool isPartialDownload(const QString& path);
