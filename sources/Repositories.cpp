#include "sources/Repositories.h"

#include "install/Locations.h"
#include "platform/Localization.h"
#include "platform/PropertyList.h"
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
    // Sources match by the URL their strings parse to, as the merge matches them: a stored
    // "http://Feeds.Example/levels.txt" names the levels the merge filed under its lower-case
    // form. Each source is known under its stored string and its URL's encoded form (which
    // is what the catalogue stores, so a lookup seldom parses); the first source wins.
    if (!m_urlLookup) {
        QHash<QString, QString> lookup;
        lookup.reserve(2 * m_data.size());
        for (const RepositoryEntry& record : m_data) {
            const QString name = record.value(RepositoryKey::name).toString();
            for (const QString& key :
                 {record.value(RepositoryKey::urlDownload).toString(),
                  absoluteString(urlForKey(record, RepositoryKey::urlDownload))}) {
                if (!key.isEmpty() && !lookup.contains(key))
                    lookup.insert(key, name);
            }
        }
        m_urlLookup = std::move(lookup);
    }
    auto it = m_urlLookup->constFind(urlString);
    if (it == m_urlLookup->cend() && !urlString.isEmpty())
        it = m_urlLookup->constFind(absoluteString(QUrl(urlString)));
    return it != m_urlLookup->cend() ? *it : urlString;
}

void Repositories::updateEntry(const RepositoryEntry& given)
{
    // Held as the defaults file will give it back, like the catalogue's records.
    const auto kept = PropertyList::storable(given);
    if (!kept)
        return;
    const RepositoryEntry record = kept->toMap();
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
        for (const QString& key :
             {RepositoryKey::nextCheckDate, RepositoryKey::format, RepositoryKey::name,
              RepositoryKey::description, RepositoryKey::urlWebsite}) {
            if (record.contains(key))
                changed.insert(key, record.value(key));
        }
        stored = changed;
        return;
    }

    RepositoryEntry added;
    added.insert(RepositoryKey::urlDownload, absoluteString(url));
    for (const QString& key : {RepositoryKey::nextCheckDate, RepositoryKey::format}) {
        if (record.contains(key))
            added.insert(key, record.value(key));
    }
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
                     : localizedString(QT_TRANSLATE_NOOP("Quillmor", "Level Database")));
    added.insert(RepositoryKey::urlWebsite, record.value(RepositoryKey::urlWebsite).toString());
    m_data.append(added);
}

void Repositories::replaceObjectAtIndex(qsizetype index, const RepositoryEntry& record)
{
    m_data[index] = record;
    m_urlLookup.reset();
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

std::optional<qsizetype> Repositories::indexOfSource(const QUrl& url) const
{
    for (qsizetype i = 0; url.isValid() && i < m_data.size(); ++i) {
        if (urlForKey(m_data.at(i), RepositoryKey::urlDownload) == url)
            return i;
    }
    return std::nullopt;
}
