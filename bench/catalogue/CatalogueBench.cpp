// Times the catalogue at the scale of a long-lived install: a 10,000-entry catalogue loaded
// over 1,000 level folders, a feed forgotten from it, and a 10,000-item RSS feed parsed and
// merged into it. Usage: bench_catalogue <work folder> <entries> <folders> [prepare]. Prints
// "load <s>", "remove <s>" and "merge <s>" (best of three) and leaves the feed it merged at
// <work>/feed.rss for a peer to read. With "prepare" it only lays out the home and the stored
// catalogue, for the launcher benchmark to start from.

#include "catalogue/Database.h"
#include "platform/PropertyList.h"
#include "sources/Repositories.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <functional>

namespace {

const QString kFeed = QStringLiteral("http://feeds.example/levels.rss");
const QString kOther = QStringLiteral("http://other.example/levels.rss");

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
}

// Half the entries come from the feed that is merged and forgotten, half from another one;
// every tenth is installed, in a folder that is not on disk, so the load has 1,000
// "exists" checks to make besides the new folders it must find.
QVariantList catalogue(int count, const QString& levels)
{
    QVariantList list;
    list.reserve(count + 1);
    const QDateTime base(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        const bool installed = i % 10 == 0;
        list.append(QVariantMap{
            {"name", QStringLiteral("Level %1").arg(i)},
            {"author", QStringLiteral("Author %1").arg(i % 97)},
            {"description", QStringLiteral("Level number %1").arg(i)},
            {"guid", QStringLiteral("guid-%1").arg(i / 2)},
            {"urlInstall", installed
                               ? QUrl::fromLocalFile(levels + QStringLiteral("/gone%1/").arg(i))
                                     .toString(QUrl::FullyEncoded)
                               : QString()},
            {"urlDownload", QStringLiteral("http://levels.example/L%1.zip").arg(i)},
            {"urlWebsite", ""},
            {"urlSource", i % 2 == 0 ? kFeed : kOther},
            {"sha1Install", QByteArray()},
            {"sha1Remote", QByteArray(20, char(i))},
            {"pubDateInstall", base},
            {"pubDateRemote", base.addSecs(i * 60)},
            {"length", qint64(100000 + i)},
            {"exists", installed},
        });
    }
    list.append(QVariantMap{{"name", "Standard"}, {"guid", ""}, {"urlInstall", ""}});
    return list;
}

// Items 0 to n-1 with the guids of the feed's catalogue entries for the first half, new ones
// after; every item carries a hash, credit and date as a real feed would.
QByteArray rssFeed(int items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<rss version=\"2.0\" xmlns:media=\"http://search.yahoo.com/mrss/\">\n"
                     "<channel><title>Bench levels</title><link>http://feeds.example/</link>"
                     "<description>Many levels</description><ttl>60</ttl>\n";
    for (int i = 0; i < items; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "<item><title>Level " + n + "</title><link>http://levels.example/" + n +
               "</link><description>Level &amp; number " + n + "</description><guid>guid-" + n +
               "</guid><pubDate>Tue, 03 Jun 2025 10:00:00 +0000</pubDate>"
               "<enclosure url=\"http://levels.example/L" +
               n + ".zip\" length=\"" + QByteArray::number(100000 + i) +
               "\" type=\"application/x-quillmor-level\"/>"
               "<media:hash algo=\"sha-1\">" +
               QByteArray(20, char(i)).toHex() +
               "</media:hash><media:credit role=\"author\">Author " + QByteArray::number(i % 97) +
               "</media:credit></item>\n";
    }
    return xml + "</channel></rss>\n";
}

double bestOf(int rounds, const std::function<void()>& prepare, const std::function<void()>& work)
{
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        best = qMin(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_catalogue <work folder> <entries> <folders>\n");
        return 2;
    }
    const QString work = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int entries = QByteArray(argv[2]).toInt();
    const int folders = QByteArray(argv[3]).toInt();

    // A home of its own, with the game installed, so nothing touches the user's files.
    const QString data = work + "/data";
    qputenv("HOME", QFile::encodeName(work));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work + "/config"));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(work + "/system"));
    qunsetenv("QUILLMOR_LAUNCHER_INFO_PLIST");
    writeFile(data + "/applications/org.quillmor.Quillmor.desktop",
              "[Desktop Entry]\nType=Application\nName=Quillmor\nExec=/bin/true\n");
    const QString levels = data + "/org.quillmor.Quillmor/Levels";
    for (int i = 0; i < folders; ++i)
        writeFile(levels + QStringLiteral("/level%1/levellist.dat").arg(i), "level\n");

    const QVariantList stored = catalogue(entries, levels);
    const QString path = getDatabasePath();
    if (argc > 4 && QByteArray(argv[4]) == "prepare") {
        PropertyList::writeFile(path, stored);
        return 0;
    }
    const double load = bestOf(
        3, [&] { PropertyList::writeFile(path, stored); },
        [] {
            Database db;
            db.load();
        });

    Database db;
    const double remove = bestOf(
        3, [&] { db.load(); }, [&] { db.removeEntriesForSource(QUrl(kFeed)); });

    const QByteArray feed = rssFeed(entries);
    writeFile(work + "/feed.rss", feed);
    Repositories repositories;
    Database merged;
    merged.setRepositories(&repositories);
    const double merge = bestOf(
        3,
        [&] {
            PropertyList::writeFile(path, stored);
            merged.load();
        },
        [&] { merged.parseFileRss(feed, QUrl(kFeed)); });

    std::printf("load %.4f\nremove %.4f\nmerge %.4f\n", load, remove, merge);
    return 0;
}
