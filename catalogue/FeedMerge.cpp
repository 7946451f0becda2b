// The Database operations that fold outside news into the catalogue: a downloaded feed, its
// parsed items, and the record of a finished install.

#include "catalogue/Database.h"

#include "catalogue/FeedParsers.h"
#include "install/Locations.h"
#include "platform/Localization.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"

#include <QHash>
#include <QSet>

#include <map>

namespace {

// Value equality as the catalogue means it: strings by characters, dates by instant, data by
// bytes, numbers by value. A missing value equals only another missing one.
bool sameValue(const QVariant& a, const QVariant& b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    if (SortOrder::isNumber(a) && SortOrder::isNumber(b))
        return SortOrder::compareValues(a, b) == 0;
    if (a.metaType() != b.metaType())
        return false;
    return a == b;
}

// The guid a feed that gives none would have given: the feed, then the archive's base name.
QString derivedGuid(const QUrl& feed, const QUrl& download)
{
    QString path = download.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    QString last = path.mid(path.lastIndexOf(u'/') + 1);
    if (last.isEmpty())
        last = path;
    const qsizetype dot = last.lastIndexOf(u'.');
    if (dot > 0)
        last.truncate(dot);
    return absoluteString(feed) + u'#' + last;
}

// Text as the catalogue file will give it back.
void keepStorable(QString& text)
{
    if (!PropertyList::isStored(QStringView(text)))
        text = PropertyList::storable(text)->toString();
}
void keepStorable(std::optional<QString>& text)
{
    if (text)
        keepStorable(*text);
}

// Makes the item what the catalogue file will give back, so that the merge after the next
// start matches what this one stored; items from a feed reader mostly are so already. False
// for a date that is no date.
bool keepStorable(FeedItem& item)
{
    for (std::optional<QString>* text : {&item.author, &item.description, &item.guid,
                                          &item.urlThumbnail, &item.urlWebsite})
        keepStorable(*text);
    keepStorable(item.name);
    keepStorable(item.urlDownload);
    if (auto& date = item.pubDateRemote; date && !PropertyList::isStored(*date)) {
        if (!date->isValid())
            return false;
        date = PropertyList::storable(*date)->toDateTime();
    }
    return true;
}

// An archive address as the merge compares it: its text and, unless the text is a plain web
// address, what it parses to (nothing when it does not parse).
struct Address
{
    explicit Address(QString written)
        : text(std::move(written)), plain(isPlainWebAddress(text)),
          url(plain || text.isEmpty() ? QUrl() : QUrl(text))
    {
    }
    bool isValid() const { return plain || url.isValid(); }
    QUrl parsed() const { return plain ? QUrl(text) : url; }
    QString stored() const { return plain ? text : absoluteString(url); }
    // Equal texts name the same place, two different plain ones never; the rest are parsed.
    bool sameAs(const Address& other) const
    {
        return text == other.text || (!(plain && other.plain) && parsed() == other.parsed());
    }

    QString text;
    bool plain;
    QUrl url;
};

// Tells whether an entry's stored URL string names the given URL, parsing each distinct
// string once: the entries of one feed all carry the same few strings.
class UrlMatcher
{
public:
    UrlMatcher(QString key, QUrl url) : m_key(std::move(key)), m_url(std::move(url)) {}

    bool operator()(const LevelEntry& entry)
    {
        const QString text = entry.value(m_key).toString();
        auto it = m_seen.constFind(text);
        if (it == m_seen.cend())
            it = m_seen.insert(text, m_url.isValid() && urlForKey(entry, m_key) == m_url);
        return *it;
    }

private:
    QString m_key;
    QUrl m_url;
    QHash<QString, bool> m_seen;
};

} // namespace

void Database::updateDatabase(const QUrl& feed, const QList<FeedItem>& itemList)
{
    // Levels are told apart by their feed; without one, every merge would add them again.
    if (!feed.isValid())
        return;

    // Step 1: every item gets a guid. Items the merge cannot place (an archive URL that does
    // not parse) are left out rather than stored as entries that could never be downloaded
    // nor matched again. Each item is taken as the catalogue file will give it back, and its
    // archive URL is read once, here, for step 4 as well.
    QList<FeedItem> items;
    QList<Address> downloads;
    items.reserve(itemList.size());
    downloads.reserve(itemList.size());
    for (const FeedItem& given : itemList) {
        Address download(given.urlDownload);
        if (!download.isValid())
            continue;
        FeedItem item = given;
        if (!item.guid)
            item.guid = derivedGuid(feed, download.parsed());
        if (!keepStorable(item))
            continue;
        if (item.urlDownload != given.urlDownload)
            download = Address(item.urlDownload);
        items.append(std::move(item));
        downloads.append(std::move(download));
    }
    const QString source = absoluteString(feed);

    UrlMatcher belongs(LevelKey::urlSource, feed);

    // Step 2: levels the feed no longer lists leave the catalogue, installed ones too.
    if (!m_data.isEmpty()) {
        QSet<QString> listed;
        listed.reserve(items.size());
        for (const FeedItem& item : std::as_const(items))
            listed.insert(*item.guid);
        QList<qsizetype> dropped;
        for (qsizetype i = 0; i < m_data.size(); ++i) {
            const LevelEntry& entry = m_data.at(i);
            if (!belongs(entry))
                continue;
            if (!entry.contains(LevelKey::guid) ||
                !listed.contains(entry.value(LevelKey::guid).toString()))
                dropped.append(i);
        }
        if (!dropped.isEmpty()) {
            removeObjectsAtIndexes(dropped);
            m_dirty = true;
        }
    }
    const qsizetype known = m_data.size();

    // Step 3: a level installed without a feed joins the first item offering its archive.
    QHash<QByteArray, qsizetype> itemByHash;
    for (qsizetype k = 0; k < items.size(); ++k) {
        const QByteArray hash = items.at(k).sha1Remote.value_or(QByteArray());
        if (!hash.isEmpty() && !itemByHash.contains(hash))
            itemByHash.insert(hash, k);
    }
    if (!itemByHash.isEmpty()) {
        for (qsizetype i = 0; i < known; ++i) {
            const LevelEntry& entry = m_data.at(i);
            const QByteArray hash = entry.value(LevelKey::sha1Install).toByteArray();
            const auto it = hash.isEmpty() ? itemByHash.cend() : itemByHash.constFind(hash);
            if (it == itemByHash.cend() || urlForKey(entry, LevelKey::urlSource).isValid())
                continue;
            LevelEntry linked = entry;
            linked.insert(LevelKey::urlSource, source);
            linked.insert(LevelKey::guid, *items.at(*it).guid);
            m_data[i] = linked;
        }
    }

    // Step 4: each item updates the first entry of this feed with its guid, or is added.
    // Only entries present before this step are indexed, so an item repeating an earlier
    // item's new guid is added again, and later merges update the first of them.
    QHash<QString, qsizetype> entryByGuid;
    for (qsizetype i = 0; i < known; ++i) {
        const LevelEntry& entry = m_data.at(i);
        if (!entry.contains(LevelKey::guid) || !belongs(entry))
            continue;
        const QString guid = entry.value(LevelKey::guid).toString();
        if (!entryByGuid.contains(guid))
            entryByGuid.insert(guid, i);
    }

    const QDateTime mergeTime = now();
    const QDateTime past = distantPast();
    const QString unknown = localizedString(QT_TRANSLATE_NOOP("Quillmor", "Unknown"));
    const QString downloadable =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Downloadable level"));
    for (qsizetype k = 0; k < items.size(); ++k) {
        const FeedItem& item = items.at(k);
        const QString& guid = *item.guid;
        const auto found = entryByGuid.constFind(guid);
        if (found == entryByGuid.cend()) {
            // Keys in their order in the map, each added at its end without a search.
            std::map<QString, QVariant> entry;
            const auto add = [&entry](const QString& key, const QVariant& value) {
                entry.emplace_hint(entry.end(), key, value);
            };
            add(LevelKey::author, item.author.value_or(unknown));
            add(LevelKey::description, item.description.value_or(downloadable));
            add(LevelKey::exists, false);
            add(LevelKey::guid, guid);
            add(LevelKey::length, item.length.value_or(0));
            add(LevelKey::name, item.name);
            add(LevelKey::pubDateInstall, past);
            add(LevelKey::pubDateRemote, item.pubDateRemote.value_or(mergeTime));
            add(LevelKey::sha1Install, QByteArray());
            add(LevelKey::sha1Remote, item.sha1Remote.value_or(QByteArray()));
            add(LevelKey::urlDownload, item.urlDownload);
            add(LevelKey::urlInstall, QString());
            add(LevelKey::urlSource, source);
            if (item.urlThumbnail)
                add(LevelKey::urlThumbnail, *item.urlThumbnail);
            add(LevelKey::urlWebsite, item.urlWebsite.value_or(QString()));
            m_data.append(LevelEntry(std::move(entry)));
            m_dirty = true;
            continue;
        }

        LevelEntry entry = m_data.at(*found);
        bool changed = false;
        const auto update = [&](const QString& key, const auto& value) {
            if (value && !sameValue(QVariant(*value), entry.value(key))) {
                entry.insert(key, *value);
                changed = true;
            }
        };
        if (entry.value(LevelKey::name).toString() != item.name ||
            !entry.contains(LevelKey::name)) {
            entry.insert(LevelKey::name, item.name);
            changed = true;
        }
        update(LevelKey::author, item.author);
        update(LevelKey::description, item.description);
        const Address& download = downloads.at(k);
        if (!download.sameAs(Address(entry.value(LevelKey::urlDownload).toString()))) {
            entry.insert(LevelKey::urlDownload, download.stored());
            changed = true;
        }
        update(LevelKey::urlWebsite, item.urlWebsite);
        update(LevelKey::sha1Remote, item.sha1Remote);
        update(LevelKey::length, item.length);
        // The picture is the feed's to give, change or take away. It says nothing new about
        // the level itself, so it never dates the level anew.
        const QVariant picture = item.urlThumbnail ? QVariant(*item.urlThumbnail) : QVariant();
        if (!sameValue(picture, entry.value(LevelKey::urlThumbnail))) {
            if (picture.isValid())
                entry.insert(LevelKey::urlThumbnail, picture);
            else
                entry.remove(LevelKey::urlThumbnail);
            m_dirty = true;
        }
        // A new date is news in its own right; a text feed has none, so a changed listing
        // is dated by the merge itself.
        if (item.pubDateRemote) {
            if (!sameValue(*item.pubDateRemote, entry.value(LevelKey::pubDateRemote))) {
                entry.insert(LevelKey::pubDateRemote, *item.pubDateRemote);
                m_dirty = true;
            }
        } else if (changed) {
            entry.insert(LevelKey::pubDateRemote, mergeTime);
        }
        m_dirty = m_dirty || changed;
        m_data[*found] = entry;
    }
}

void Database::updateInstall(const LevelEntry& given)
{
    // A null or unstorable value in the record must not reach the catalogue, where it would
    // stop every later save.
    const auto kept = PropertyList::storable(given);
    if (!kept) {
        qWarning("Database: an install record holds a value the catalogue cannot store");
        return;
    }
    const LevelEntry record = kept->toMap();
    // A feed's level is its feed's and guid's: another feed may list the same guid.
    qsizetype index = -1;
    const QString guid = record.value(LevelKey::guid).toString();
    const QString source = record.value(LevelKey::urlSource).toString();
    if (!guid.isEmpty()) {
        for (qsizetype i = 0; i < m_data.size() && index < 0; ++i) {
            const LevelEntry& entry = m_data.at(i);
            if (entry.contains(LevelKey::guid) && entry.value(LevelKey::guid).toString() == guid &&
                (source.isEmpty() || entry.value(LevelKey::urlSource).toString() == source))
                index = i;
        }
    } else {
        const QUrl folder = urlForKey(record, LevelKey::urlInstall);
        for (qsizetype i = 0; folder.isValid() && i < m_data.size() && index < 0; ++i) {
            if (urlForKey(m_data.at(i), LevelKey::urlInstall) == folder)
                index = i;
        }
    }
    if (index >= 0)
        m_data[index] = updateEntry(m_data.at(index), record);
    else
        m_data.append(buildEntry(record));
    m_dirty = true;
}

LevelEntry Database::updateEntry(const LevelEntry& entry, const LevelEntry& record) const
{
    LevelEntry updated = entry;
    for (const QString& key :
         {LevelKey::name, LevelKey::urlInstall, LevelKey::author, LevelKey::description,
          LevelKey::pubDateRemote, LevelKey::pubDateInstall, LevelKey::urlDownload,
          LevelKey::urlWebsite, LevelKey::urlSource, LevelKey::sha1Remote, LevelKey::sha1Install,
          LevelKey::length, LevelKey::exists}) {
        const auto it = record.constFind(key);
        if (it != record.cend() && it->isValid())
            updated.insert(key, *it);
    }
    return updated;
}

LevelEntry Database::buildEntry(const LevelEntry& record) const
{
    LevelEntry entry;
    for (const QString& key : {LevelKey::name, LevelKey::urlInstall}) {
        if (record.value(key).isValid())
            entry.insert(key, record.value(key));
    }
    const auto take = [&](const QString& key, const QVariant& fallback) {
        const QVariant value = record.value(key);
        entry.insert(key, value.isValid() ? value : fallback);
    };
    take(LevelKey::author, localizedString(QT_TRANSLATE_NOOP("Quillmor", "Unknown")));
    take(LevelKey::description,
         localizedString(QT_TRANSLATE_NOOP("Quillmor", "Downloadable level")));
    take(LevelKey::guid, QString());
    take(LevelKey::pubDateRemote, distantPast());
    take(LevelKey::pubDateInstall, now());
    take(LevelKey::urlDownload, QString());
    take(LevelKey::urlWebsite, QString());
    take(LevelKey::urlSource, QString());
    take(LevelKey::sha1Remote, QByteArray());
    take(LevelKey::sha1Install, QByteArray());
    take(LevelKey::length, qint64(0));
    take(LevelKey::exists, true);
    return entry;
}

bool Database::parseFileRss(const QByteArray& bytes, const QUrl& url)
{
    const auto feed = parseRssFeed(bytes, url, now());
    if (!feed)
        return false;
    // The source learns of the feed before its items are read, as the channel comes first.
    if (m_repositories)
        m_repositories->updateEntry(feed->repository);
    if (feed->hasItems)
        updateDatabase(url, feed->items);
    return true;
}

bool Database::parseFileXml(const QByteArray& bytes, const QUrl& url)
{
    const auto feed = parseXmlFeed(bytes, url, now());
    if (feed && m_repositories)
        m_repositories->updateEntry(feed->repository);
    return feed.has_value();
}

bool Database::parseFileTxt(const QByteArray& bytes, const QUrl& url)
{
    const auto feed = parseTxtFeed(bytes, url, now());
    if (!feed)
        return false;
    if (feed->hasItems)
        updateDatabase(url, feed->items);
    if (m_repositories)
        m_repositories->updateEntry(feed->repository);
    return true;
}

qsizetype Database::indexOfLevel(const LevelIdentity& level) const
{
    for (qsizetype i = 0; i < m_data.size(); ++i) {
        if (level.matches(m_data.at(i)))
            return i;
    }
    for (qsizetype i = 0; !level.folder.isEmpty() && i < m_data.size(); ++i) {
        if (m_data.at(i).value(LevelKey::urlInstall).toString() == level.folder)
            return i;
    }
    return -1;
}
