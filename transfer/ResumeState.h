#pragma once

// What a partial download needs to be taken up again: the URL it came from, what identified
// the version it is a part of, and that version's whole length. It lies beside the partial
// file as a small property list, "<partial file>.plist", written durably before the first
// bytes of an answer are kept, so that a crash never leaves a part that claims another
// version.

#include "transfer/HttpValidators.h"

#include <QString>
#include <QUrl>

#include <optional>

struct ResumeState
{
    QUrl url;
    HttpValidators validators;
    qint64 length = -1; // -1 when the server did not say

    static QString pathFor(const QString& filePath) { return filePath + QStringLiteral(".plist"); }
    // None when there is no state, or one that cannot be read or names no URL.
    static std::optional<ResumeState> read(const QString& filePath);
    bool write(const QString& filePath) const;
    static void remove(const QString& filePath);
};
