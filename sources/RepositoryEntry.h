#pragma once

// A repository record: one level feed of the source list, as a string-keyed record.

#include <QString>
#include <QVariantMap>

using RepositoryEntry = QVariantMap;

namespace RepositoryKey {
inline const QString urlDownload = QStringLiteral("urlDownload");
inline const QString nextCheckDate = QStringLiteral("nextCheckDate");
inline const QString format = QStringLiteral("format");
inline const QString name = QStringLiteral("name");
inline const QString description = QStringLiteral("description");
inline const QString urlWebsite = QStringLiteral("urlWebsite");
// What the server said identified the feed's last answer that was read, and how many seconds
// that answer said the feed stays fresh: the next fetch asks only whether it changed. Optional.
inline const QString etag = QStringLiteral("etag");
inline const QString lastModified = QStringLiteral("lastModified");
inline const QString checkInterval = QStringLiteral("checkInterval");
} // namespace RepositoryKey
