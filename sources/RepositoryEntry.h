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
} // namespace RepositoryKey
