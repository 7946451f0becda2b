// The fuzz targets: every reader of what a stranger serves, with the properties its callers
// rely on. A property that fails aborts, so that libFuzzer keeps the input as a finding. Built
// with QUILLMOR_FUZZ_TARGET, this is the libFuzzer program of that one target; without, it is
// the replay test that runs files through the target its command names.

#include "catalogue/Database.h"
#include "catalogue/FeedDate.h"
#include "catalogue/FeedParsers.h"
#include "install/Archive.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"
#include "tests/support/TestHome.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

namespace {

// The moment every target parses and merges at.
const QDateTime kFuzzNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
const QUrl kRssFeed(QStringLiteral("http://feeds.example/levels/feed.rss"));
const QUrl kTextFeed(QStringLiteral("http://feeds.example/levels.txt"));

[[noreturn]] void fuzzFailure(const char* what, const QVariant& expected = {},
                              const QVariant& actual = {})
{
    qCritical() << "property failed:" << what << "\nexpected:" << expected << "\nactual:" << actual;
    std::abort();
}

// Equal values of equal types, all the way down: lists item by item, dictionaries key by key,
// dates by instant, and a NaN equal to a NaN.
bool sameVariant(const QVariant& a, const QVariant& b)
{
    if (a.metaType() != b.metaType())
        return false;
    if (a.metaType().id() == QMetaType::QVariantList) {
        const QVariantList x = a.toList(), y = b.toList();
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), sameVariant);
    }
    if (a.metaType().id() == QMetaType::QVariantMap) {
        const QVariantMap x = a.toMap(), y = b.toMap();
        return x.keys() == y.keys() && std::equal(x.begin(), x.end(), y.begin(), sameVariant);
    }
    const bool nans = std::isnan(a.toDouble()) && std::isnan(b.toDouble());
    return (a.metaType().id() == QMetaType::Double && nans) || a == b;
}

// A parser of the given format, on any bytes: what it accepts describes that feed, and only
// the XML format keeps its (empty) item list from the merge.
QList<FeedItem> parsedItems(const QByteArray& bytes, const QString& format, const QUrl& url)
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
    return feed ? feed->items : QList<FeedItem>();
}

QStringList everything(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

QVariantList entries(const Database& database)
{
    QVariantList list;
    for (qsizetype i = 0; i < database.count(); ++i)
        list.append(database.objectAtIndex(i));
    return list;
}

// Whatever the property-list reader accepts survives the writer, and is already in the form
// the writer keeps: the catalogue and the user defaults are read, changed and written back.
void fuzzPlist(const QByteArray& bytes)
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

// RSS items carry what every level has, of the types the catalogue keeps. (Their dates are
// the date target's, their way through the writer the database target's.)
void fuzzRss(const QByteArray& bytes)
{
    for (const FeedItem& item : parsedItems(bytes, FeedFormat::rss, kRssFeed)) {
        if (item.urlDownload.isEmpty() || !item.author || !item.length || !item.sha1Remote)
            fuzzFailure("an item lacks what every level has", {}, item.urlDownload);
    }
}

void fuzzXml(const QByteArray& bytes)
{
    parsedItems(bytes, FeedFormat::xml, QUrl("http://feeds.example/levels.xml"));
}

// Every text-feed item pairs a one-line name with an absolute link.
void fuzzTxt(const QByteArray& bytes)
{
    for (const FeedItem& item : parsedItems(bytes, FeedFormat::txt, kTextFeed)) {
        static const QRegularExpression lineEnd("[\\n\\v\\f\\r\\x{85}\\x{2028}\\x{2029}]");
        const QUrl link(item.urlDownload);
        if (item.name.contains(lineEnd) || !link.isValid() || link.isRelative())
            fuzzFailure("an item is not a name line and a link line", item.name, item.urlDownload);
    }
}

// A date read lies in the years the catalogue holds, and the date in the form feeds use most
// reads back as the same instant.
void fuzzDate(const QByteArray& bytes)
{
    static const FeedDate reader;
    const QString text = QString::fromUtf8(bytes);
    const std::optional<QDateTime> date = reader.parse(text);
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
void fuzzUnzip(const QByteArray& bytes)
{
    static QTemporaryDir base; // holds the archive too, so that it shows what left the root
    const QString archive = base.filePath("level.zip"), root = base.filePath("root");
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzzFailure("cannot write the archive");
    file.close();
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/level");
    unzipLevel(QUrl::fromLocalFile(archive), QUrl::fromLocalFile(root + "/level/"));
    if (everything(base.path()) != QStringList{"level.zip", "root"} ||
        everything(root) != QStringList{"level"})
        fuzzFailure("the archive wrote outside the level folder", {}, everything(root));
    for (const QString& name : everything(root + "/level")) {
        const QFileInfo info(root + "/level/" + name);
        if (!info.isFile() || info.isSymLink())
            fuzzFailure("the archive made something other than a file", {}, name);
    }
}

// A feed merged into the catalogue ("t" first: a text feed, else RSS) leaves in memory what the
// next start reads: a merge that marks nothing to save changes nothing, and a saved catalogue
// reads back exactly as it was held. The clock has milliseconds, which the file does not keep.
void fuzzDatabase(const QByteArray& bytes)
{
    // A temporary home holding a small catalogue (catalogue.plist): levels of both feeds,
    // installed and not, one installed from a local archive whose hash a feed may offer, and
    // one of another feed.
    static TestHome home;
    static const Database start = [] {
        home.writeCatalogue(
            PropertyList::readFile(QUILLMOR_FUZZ_DIR "/catalogue.plist").value_or(0).toList());
        Database database;
        database.load();
        if (database.count() != 7) // and the default level
            fuzzFailure("the starting catalogue does not read back", 7, database.count());
        return database;
    }();
    Database database = start;
    Repositories sources;
    database.setRepositories(&sources);
    database.setClock([] { return kFuzzNow.addMSecs(123); });
    if (bytes.startsWith('t'))
        database.parseFileTxt(bytes.mid(1), kTextFeed);
    else
        database.parseFileRss(bytes.mid(1), kRssFeed);
    const QVariantList merged = entries(database);
    if (!database.isDirty() && !sameVariant(merged, entries(start)))
        fuzzFailure("the merge changed the catalogue without marking it", entries(start), merged);
    if (!database.isDirty())
        return;
    database.save();
    Database restarted;
    restarted.load();
    if (!sameVariant(merged, entries(restarted)))
        fuzzFailure("the saved catalogue reads back otherwise than it was held", merged,
                    entries(restarted));
}

const QHash<QByteArray, void (*)(const QByteArray&)> kTargets{
    {"plist", fuzzPlist}, {"rss", fuzzRss},     {"xml", fuzzXml},          {"txt", fuzzTxt},
    {"date", fuzzDate},   {"unzip", fuzzUnzip}, {"database", fuzzDatabase}};

} // namespace

#ifdef QUILLMOR_FUZZ_TARGET
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const auto target = kTargets.value(QUILLMOR_FUZZ_TARGET);
    target(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
#else
// The replay test: every file of every folder named, in turn, through the named target.
int main(int argc, char** argv)
{
    const auto target = kTargets.value(argc > 2 ? argv[1] : "");
    for (int i = 2; target && i < argc; ++i) {
        const QDir folder(QFile::decodeName(argv[i]));
        for (const QFileInfo& file : folder.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile input(file.filePath());
            qInfo("%s", qPrintable(file.filePath()));
            if (!input.open(QIODevice::ReadOnly))
                return 2;
            target(input.readAll());
        }
    }
    return target ? 0 : 2;
}
#endif
