// The fuzz targets: every reader of what a stranger serves, with the properties its callers
// rely on.

#include "catalogue/Database.h"
#include "catalogue/FeedDate.h"
#include "catalogue/FeedParsers.h"
#include "install/Archive.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QUrl kRssFeed(QStringLiteral("http://feeds.example/levels/feed.rss"));
const QUrl kTextFeed(QStringLiteral("http://feeds.example/levels.txt"));

bool isStoredDate(const QVariant& value)
{
    const QDateTime date = value.toDateTime();
    return value.metaType().id() == QMetaType::QDateTime && date.isValid() &&
           date >= distantPast() && date.toUTC().date().year() <= 9999;
}

// A parser of the given format, on any bytes: what it accepts describes that feed, and only
// the XML format keeps its (empty) item list from the merge.
std::optional<ParsedFeed> parsed(const QByteArray& bytes, const QString& format, const QUrl& url)
{
    const auto parser = format == FeedFormat::rss   ? parseRssFeed
                        : format == FeedFormat::txt ? parseTxtFeed
                                                    : parseXmlFeed;
    const std::optional<ParsedFeed> feed = parser(bytes, url, kFuzzNow);
    const RepositoryEntry record = feed ? feed->repository : RepositoryEntry();
    const QDateTime next = record.value(RepositoryKey::nextCheckDate).toDateTime();
    if (feed &&
        (record.value(RepositoryKey::format) != format ||
         record.value(RepositoryKey::urlDownload) != url.toString() || next < kFuzzNow.addDays(1) ||
         next > kFuzzNow.addDays(365) || feed->hasItems == (format == FeedFormat::xml) ||
         (!feed->hasItems && !feed->items.isEmpty())))
        fuzzFailure("the feed's record is not the feed's", {}, record);
    return feed;
}

QStringList everything(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

// A temporary home holding a small catalogue (catalogue.plist): levels of both feeds,
// installed and not, one installed from a local archive whose hash a feed may offer, and one
// of another feed.
struct Catalogue
{
    TestHome home;
    Database database;

    Catalogue()
    {
        QDir().mkpath(home.applicationDir());
        QFile::copy(QStringLiteral(QUILLMOR_FUZZ_DIR "/catalogue.plist"), home.cataloguePath());
        database.load();
        if (database.count() != 7) // and the default level
            fuzzFailure("the starting catalogue does not read back", 7, database.count());
    }
};

// The records of a catalogue or a source list.
template <typename Records> QVariantList entries(const Records& records)
{
    QVariantList list;
    for (qsizetype i = 0; i < records.count(); ++i)
        list.append(records.objectAtIndex(i));
    return list;
}

} // namespace

// Whatever the property-list reader accepts survives the writer, and is already in the form
// the writer keeps: the catalogue and the user defaults are read, changed and written back.
FUZZ_TARGET(plist)
{
    const std::optional<QVariant> value = PropertyList::fromXml(bytes);
    if (!value)
        return;
    const std::optional<QVariant> reread = PropertyList::fromXml(PropertyList::toXml(*value));
    if (!reread || !sameVariant(*value, *reread))
        fuzzFailure("a value changes on its way through the writer", *value, reread.value_or(0));
    const std::optional<QVariant> stored = PropertyList::storable(*value);
    if (!stored || !sameVariant(*value, *stored))
        fuzzFailure("a value read is not in its stored form", *value, stored.value_or(0));
}

// RSS items carry what every level has, and dates and values the writer takes as they are.
FUZZ_TARGET(rss)
{
    const std::optional<ParsedFeed> feed = parsed(bytes, FeedFormat::rss, kRssFeed);
    for (const QVariant& value : feed ? feed->items : QVariantList()) {
        const FeedItem item = value.toMap();
        if (item.value("urlDownload").toString().isEmpty() ||
            item.value("name").metaType().id() != QMetaType::QString ||
            item.value("length").metaType().id() != QMetaType::LongLong ||
            item.value("sha1Remote").metaType().id() != QMetaType::QByteArray ||
            (item.contains("pubDateRemote") && !isStoredDate(item["pubDateRemote"])))
            fuzzFailure("an item lacks what every level has", {}, value);
    }
    if (feed && !feed->items.isEmpty() && PropertyList::toXml(feed->items).isEmpty())
        fuzzFailure("the writer refuses the items of a feed", {}, feed->items.size());
}

FUZZ_TARGET(xml)
{
    parsed(bytes, FeedFormat::xml, QUrl("http://feeds.example/levels.xml"));
}

// Every text-feed item pairs a one-line name with an absolute link.
FUZZ_TARGET(txt)
{
    const std::optional<ParsedFeed> feed = parsed(bytes, FeedFormat::txt, kTextFeed);
    for (const QVariant& value : feed ? feed->items : QVariantList()) {
        static const QRegularExpression lineEnd("[\\n\\v\\f\\r\\x{85}\\x{2028}\\x{2029}]");
        const QUrl link(value.toMap().value("urlDownload").toString());
        if (value.toMap().value("name").toString().contains(lineEnd) || !link.isValid() ||
            link.isRelative())
            fuzzFailure("an item is not a name line and a link line", {}, value);
    }
}

// A date read lies in the years the catalogue holds, white space around the text changes
// nothing, and the date in the form feeds use most reads back as the same instant.
FUZZ_TARGET(date)
{
    static const FeedDate reader;
    const QString text = QString::fromUtf8(bytes);
    const std::optional<QDateTime> date = reader.parse(text);
    if (reader.parse(" \t" + text + "\n ") != date)
        fuzzFailure("white space around a date changes what it reads as", text);
    const QDateTime utc = date.value_or(QDateTime()).toUTC();
    if (date && (!utc.isValid() || utc < distantPast() || utc.date().year() > 9999))
        fuzzFailure("a date beyond the years the catalogue holds", text, *date);
    const QString common = QLocale::c().toString(utc, "ddd, dd MMM yyyy hh:mm:ss +0000");
    if (date && utc.time().msec() == 0 && reader.parse(common) != date)
        fuzzFailure("a date read does not read back from its common form", common, *date);
}

// Any bytes unpacked as a level archive into a fresh folder of a fresh root: nothing appears
// anywhere but in that folder, and only plain files there. An entry reaching beside or above
// it would let a feed write into the player's home.
FUZZ_TARGET(unzip)
{
    static QTemporaryDir base; // holds the archive too, so that it shows what left the root
    const QString archive = base.filePath("level.zip"), root = base.filePath("root");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzzFailure("cannot write the archive");
    file.close();
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/level");
    const bool unpacked =
        unzipLevel(QUrl::fromLocalFile(archive), QUrl::fromLocalFile(root + "/level/"));
    if (everything(base.path()) != QStringList{"level.zip", "root"} ||
        everything(root) != QStringList{"level"})
        fuzzFailure("the archive wrote outside the level folder", {}, everything(root));
    for (const QString& name : everything(root + "/level")) {
        const QFileInfo info(root + "/level/" + name);
        if (!info.isFile() || info.isSymLink())
            fuzzFailure("the archive made something other than a file", unpacked, name);
    }
}

// A feed merged into the catalogue ("t" first: a text feed, else RSS) leaves in memory what the
// next start reads: a merge that marks nothing to save changes nothing, and a saved catalogue
// and source list read back exactly as they were held. The clock has milliseconds, which the
// file does not keep.
FUZZ_TARGET(database)
{
    static Catalogue start;
    Database database = start.database;
    Repositories sources, restartedSources;
    database.setRepositories(&sources);
    database.setClock([] { return kFuzzNow.addMSecs(123); });
    if (bytes.startsWith('t'))
        database.parseFileTxt(bytes.mid(1), kTextFeed);
    else
        database.parseFileRss(bytes.mid(1), kRssFeed);
    const QVariantList merged = entries(database);
    if (!database.isDirty() && !sameVariant(merged, entries(start.database)))
        fuzzFailure("the merge changed the catalogue without marking it", entries(start.database),
                    merged);
    if (!database.isDirty())
        return;
    database.save();
    sources.save();
    Database restarted;
    restarted.load();
    restartedSources.load();
    if (!sameVariant(merged, entries(restarted)))
        fuzzFailure("the saved catalogue reads back otherwise than it was held", merged,
                    entries(restarted));
    if (!sameVariant(entries(sources), entries(restartedSources)))
        fuzzFailure("the saved source list reads back otherwise than it was held", entries(sources),
                    entries(restartedSources));
}
