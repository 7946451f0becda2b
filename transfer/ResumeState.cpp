#include "transfer/ResumeState.h"

#include "platform/PropertyList.h"

#include <QFile>
#include <QVariantMap>

namespace {

const QString kUrl = QStringLiteral("url");
const QString kEtag = QStringLiteral("etag");
const QString kLastModified = QStringLiteral("lastModified");
const QString kLength = QStringLiteral("length");

} // namespace

std::optional<ResumeState> ResumeState::read(const QString& filePath)
{
    const QVariantMap stored =
        PropertyList::readFile(pathFor(filePath)).value_or(QVariant()).toMap();
    const QUrl url(stored.value(kUrl).toString());
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return ResumeState{url,
                       {stored.value(kEtag).toString(), stored.value(kLastModified).toString()},
                       stored.value(kLength, qint64(-1)).toLongLong()};
}

bool ResumeState::write(const QString& filePath) const
{
    QVariantMap stored{{kUrl, url.toString(QUrl::FullyEncoded)}, {kLength, length}};
    if (!validators.etag.isEmpty())
        stored.insert(kEtag, validators.etag);
    if (!validators.lastModified.isEmpty())
        stored.insert(kLastModified, validators.lastModified);
    return PropertyList::writeFile(pathFor(filePath), stored);
}

void ResumeState::remove(const QString& filePath)
{
    QFile::remove(pathFor(filePath));
}
