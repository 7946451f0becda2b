#pragma once

// A level entry: one level of the catalogue, as a string-keyed record. Records held in a
// list are never changed in place: a change copies the record, sets keys and puts the copy
// back at its index.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <optional>

using LevelEntry = QVariantMap;

// A level as a feed lists it, on its way to the merge that makes it an entry. Each field
// stands for the entry's key of the same name; what the feed leaves out stays unset, for the
// merge to fall back on its own values.
struct FeedItem
{
    QString name;
    QString urlDownload;
    std::optional<QString> author{};
    std::optional<QString> description{};
    std::optional<QString> guid{};
    std::optional<qint64> length{};
    std::optional<QDateTime> pubDateRemote{};
    std::optional<QByteArray> sha1Remote{};
    std::optional<QString> urlThumbnail{};
    std::optional<QString> urlWebsite{};
};

namespace LevelKey {
inline const QString name = QStringLiteral("name");
inline const QString author = QStringLiteral("author");
inline const QString description = QStringLiteral("description");
inline const QString guid = QStringLiteral("guid");
inline const QString urlInstall = QStringLiteral("urlInstall");
inline const QString urlDownload = QStringLiteral("urlDownload");
inline const QString urlWebsite = QStringLiteral("urlWebsite");
inline const QString urlSource = QStringLiteral("urlSource");
inline const QString sha1Install = QStringLiteral("sha1Install");
inline const QString sha1Remote = QStringLiteral("sha1Remote");
inline const QString pubDateInstall = QStringLiteral("pubDateInstall");
inline const QString pubDateRemote = QStringLiteral("pubDateRemote");
inline const QString length = QStringLiteral("length");
inline const QString exists = QStringLiteral("exists");
// The level's picture, an http or https address; only feeds that give one set it, and older
// catalogues lack it.
inline const QString urlThumbnail = QStringLiteral("urlThumbnail");
// Carried by an install record on its way through the install flow; never stored.
inline const QString urlZip = QStringLiteral("urlZip");
} // namespace LevelKey

// What tells one level from every other in the catalogue, whatever row it sits in: a feed's
// level by its feed and guid (two feeds may list the same archive, or the same guid), any
// other by its folder; the built-in level has neither. Rows move with every sort, filter and
// merge, and archive URLs repeat across feeds, so a level is carried through a flow by this.
struct LevelIdentity
{
    QString source;
    QString guid;
    QString folder; // also kept for a feed's level: a merge may tie a folder to a feed

    static LevelIdentity of(const LevelEntry& entry)
    {
        return {entry.value(LevelKey::urlSource).toString(), entry.value(LevelKey::guid).toString(),
                entry.value(LevelKey::urlInstall).toString()};
    }
    // The built-in level's identity is the empty one: no folder of its own, no feed behind it.
    bool isBuiltIn() const { return guid.isEmpty() && folder.isEmpty(); }
    bool matches(const LevelEntry& entry) const
    {
        if (!guid.isEmpty())
            return entry.value(LevelKey::guid).toString() == guid &&
                   entry.value(LevelKey::urlSource).toString() == source;
        if (!folder.isEmpty())
            return entry.value(LevelKey::urlInstall).toString() == folder;
        return of(entry).isBuiltIn();
    }
};
