#include "sources/Repositories.h"

#include "install/Locations.h"
#include "platform/Localization.h"
#include "platform/UserDefaults.h"

namespace {

const QString kSourceDefaultsKey = QStringLiteral("source");

} // namespace

Repositories::Repositories() = default;

void Repositories::firstLoad()
{
    if (!m_firstLoad)
        return;
    m_firstLoad = false;
    load();
}

void Repositories::load()
{
    m_data.clear();
    // Only dictionaries are sources; anything else a hand-edited defaults file holds is
    // passed over rather than shown as an empty row.
    const QVariantList stored = UserDefaults::standard().objectForKey(kSourceDefaultsKey).toList();
    for (const QVariant& value : stored) {
        if (value.metaType().id() == QMetaType::QVariantMap)
            m_data.append(value.toMap());
    }
    // Cancel in the preferences sheet reloads: names held from the edited list are stale.
    m_urlLookup.reset();
}

void Repositories::save() const
{
    QVariantList list;
    list.reserve(m_data.size());
    for (const RepositoryEntry& record : m_data)
        list.append(record);
    UserDefaults::standard().setObject(list, kSourceDefaultsKey);
}

QString Repositories::getNameForURL(const QString& urlString)
{
    if (!m_urlLookup) {
        QHash<QString, QString> lookup;
        lookup.reserve(m_data.size());
        for (const RepositoryEntry& record : m_data) {
            lookup.insert(record.value(RepositoryKey::urlDownload).toString(),
                          record.value(RepositoryKey::name).toString());
        }
        m_urlLookup = std::move(lookup);
    }
    return m_urlLookup->value(urlString, urlString);
}

void Repositories::updateEntry(const RepositoryEntry& record)
{
    const QUrl url = urlForKey(record, RepositoryKey::urlDownload);
    // A record without a feed URL names no source; adding it would make a row that no
    // refresh can ever read.
    if (!url.isValid())
        return;
    m_urlLookup.reset();
    for (RepositoryEntry& stored : m_data) {
        if (urlForKey(stored, RepositoryKey::urlDownload) != url)
            continue;
        RepositoryEntry changed = stored;
        changed.insert(RepositoryKey::nextCheckDate, record.value(RepositoryKey::nextCheckDate));
        changed.insert(RepositoryKey::format, record.value(RepositoryKey::format));
        for (const QString& key :
             {RepositoryKey::name, RepositoryKey::description, RepositoryKey::urlWebsite}) {
            if (record.contains(key))
                changed.insert(key, record.value(key));
        }
        stored = changed;
        return;
    }

    RepositoryEntry added;
    added.insert(RepositoryKey::urlDownload, absoluteString(url));
    added.insert(RepositoryKey::nextCheckDate, record.value(RepositoryKey::nextCheckDate));
    added.insert(RepositoryKey::format, record.value(RepositoryKey::format));
    QString name;
    if (record.contains(RepositoryKey::name))
        name = record.value(RepositoryKey::name).toString();
    else if (!url.host().isEmpty())
        name = url.host();
    else
        name = absoluteString(url); // a file: feed has no host, and every source needs a name
    added.insert(RepositoryKey::name, name);
    added.insert(RepositoryKey::description,
                 record.contains(RepositoryKey::description)
                     ? record.value(RepositoryKey::description).toString()
                     : localizedString("Level Database"));
    added.insert(RepositoryKey::urlWebsite, record.value(RepositoryKey::urlWebsite).toString());
    m_data.append(added);
}

void Repositories::removeObjectAtIndex(qsizetype index)
{
    m_data.removeAt(index);
    m_urlLookup.reset();
}

void Repositories::sortUsingDescriptors(const QList<SortDescriptor>& descriptors)
{
    SortOrder::sortRecords(m_data, descriptors);
}

QVariant Repositories::objectValueForTableColumn(const QString& columnIdentifier, int row) const
{
    return m_data.at(row).value(columnIdentifier);
}
