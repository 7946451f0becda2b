// A downloaded feed merged into a small catalogue: levels of the feed installed and not,
// a level installed from a local archive whose hash a feed may offer, and levels of other
// feeds. The first byte picks the format ("t" text, anything else RSS); the rest is the feed.
//
// What the merge leaves in memory is what the next start reads: a merge that marks nothing
// to save changes nothing, and a saved catalogue reads back exactly as it was held.

#include "catalogue/Database.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QUrl kRssFeed(QStringLiteral("http://feeds.example/levels/feed.rss"));
const QUrl kTextFeed(QStringLiteral("http://feeds.example/levels.txt"));
const QDateTime kNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);

LevelEntry level(const QString& name, const QUrl& feed, const QString& guid, const QString& folder,
                 const QByteArray& sha1)
{
    const QDateTime published(QDate(2026, 3, 1), QTime(9, 30), Qt::UTC);
    return {{LevelKey::name, name},
            {LevelKey::author, QStringLiteral("Ann")},
            {LevelKey::description, QStringLiteral("A level")},
            {LevelKey::guid, guid},
            {LevelKey::urlInstall,
             folder.isEmpty() ? QString() : QUrl::fromLocalFile(folder + u'/').toString()},
            {LevelKey::urlWebsite, QStringLiteral("http://levels.example/") + name},
            {LevelKey::urlDownload, QStringLiteral("http://levels.example/") + name + ".zip"},
            {LevelKey::urlSource, feed.isEmpty() ? QString() : feed.toString()},
            {LevelKey::sha1Install, sha1},
            {LevelKey::sha1Remote, sha1},
            {LevelKey::pubDateInstall, folder.isEmpty() ? distantPast() : published},
            {LevelKey::pubDateRemote, published},
            {LevelKey::length, qint64(1234)},
            {LevelKey::exists, !folder.isEmpty()}};
}

// The temporary home and the catalogue every input starts from, made once per process.
struct Catalogue
{
    QTemporaryDir home;
    Database database;
    Repositories sources;

    Catalogue()
    {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(name, QFile::encodeName(home.filePath(QString::fromLatin1(name))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(home.filePath(QStringLiteral("system"))));
        qunsetenv("QUILLMOR_LAUNCHER_INFO_PLIST");

        const auto folder = [this](const QString& name) {
            const QString path = home.filePath(QStringLiteral("levels/") + name);
            QDir().mkpath(path);
            QFile marker(path + QStringLiteral("/levellist.dat"));
            marker.open(QIODevice::WriteOnly);
            return path;
        };
        const QByteArray hash = QByteArray::fromHex("00112233445566778899aabbccddeeff0a1b2c3d");
        const QVariantList entries{
            level("Castle", kRssFeed, QStringLiteral("castle-1"), folder("Castle"), "c1"),
            level("Bridge", kRssFeed, QStringLiteral("bridge"), {}, {}),
            level("Local", {}, {}, folder("Local"), hash),
            level("Tower", kTextFeed, kTextFeed.toString() + "#tower", folder("Tower"), {}),
            level("Moor", kTextFeed, kTextFeed.toString() + "#moor", {}, {}),
            level("Other", QUrl(QStringLiteral("http://other.example/feed.rss")),
                  QStringLiteral("castle-1"), {}, {}),
        };
        if (!PropertyList::writeFile(getDatabasePath(), entries))
            fuzzFailure("cannot write the starting catalogue");
        database.setClock([] { return kNow; });
        database.load();
        if (database.count() != entries.size() + 1)
            fuzzFailure("the starting catalogue does not read back", entries.size() + 1,
                        database.count());
    }
};

QVariantList entries(const Database& database)
{
    QVariantList list;
    for (qsizetype i = 0; i < database.count(); ++i)
        list.append(database.objectAtIndex(i));
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Catalogue start;
    const bool text = size > 0 && data[0] == 't';
    const QByteArray feed = size > 0 ? fuzzBytes(data + 1, size - 1) : QByteArray();

    Database database = start.database;
    Repositories sources = start.sources;
    database.setRepositories(&sources);
    if (text)
        database.parseFileTxt(feed, kTextFeed);
    else
        database.parseFileRss(feed, kRssFeed);

    const QVariantList merged = entries(database);
    if (!database.isDirty()) {
        const QVariantList before = entries(start.database);
        if (!sameVariant(merged, before))
            fuzzFailure("the merge changed the catalogue without marking it", before, merged);
        return 0;
    }
    database.save();
    Database restarted;
    restarted.setClock([] { return kNow; });
    restarted.load();
    const QVariantList reread = entries(restarted);
    if (!sameVariant(merged, reread))
        fuzzFailure("the saved catalogue reads back otherwise than it was held", merged, reread);
    return 0;
}
