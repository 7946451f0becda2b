// The jobs on their own, without a window: feeds and archives fetched straight from the
// loopback server. The game's run is tested through the window, whose sheets tell its outcome.

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "flows/UpdateAllJob.h"
#include "install/Locations.h"
#include "sources/Repositories.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"
#include "tests/support/ZipBuilder.h"
#include "transfer/Transfer.h"

#include "platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Gives every question the same answer, and notes what it was asked.
class NotedQuestions : public Questions
{
public:
    Answer answer = Answer::Refuse;
    QStringList asked;

    void askChecksumMismatch(const QString& levelName, Reply reply) override
    {
        asked << "checksum of " + levelName, reply(answer);
    }
    void askFolderTaken(Reply reply) override { asked << "folder taken", reply(answer); }
};

class FlowsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HttpFixture> m_http;
    QNetworkAccessManager m_network;

private slots:
    void init() { m_home = std::make_unique<TestHome>(), m_http = std::make_unique<HttpFixture>(); }
    void cleanup() { m_http.reset(), m_home.reset(); }

    // Sources "a" (a text list) and "r" (stored as RSS, but serving a text list), then
    // address "p" (a web page) added. The queue is worked from its end, each feed once; a
    // removed feed is not fetched; the parser follows the stored format or the content.
    void feedRefresh_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<bool>("byContent");
        QTest::addColumn<QString>("outcome"); // the paths fetched | the levels read
        QTest::newRow("by stored format") << QString() << false << "/p /r /a | A1";
        QTest::newRow("by content") << QString() << true << "/p /r /a | A1 R1";
        QTest::newRow("a feed removed") << QString("/r") << true << "/p /a | A1";
    }
    void feedRefresh()
    {
        QFETCH(QString, removed);
        QFETCH(bool, byContent);
        QVariantList sources;
        for (const char* path : {"/a", "/r"}) {
            m_http->setBody(path, QByteArray(path + 1).toUpper() + "1\nhttp://x.example/" +
                                      (path + 1) + ".zip\n");
            sources << QVariantMap{{"urlDownload", m_http->url(path).toString()},
                                   {"format", path[1] == 'a' ? "txt" : "rss"}};
        }
        m_http->setBody("/p", "<html><body>Hello</body></html>");
        UserDefaults::standard().setObject(sources, "source");
        Repositories repositories;
        repositories.firstLoad();
        Database database;
        database.setRepositories(&repositories);
        database.firstLoad();
        FeedRefreshJob job(&database, &repositories,
                           byContent ? FeedRefreshJob::Parsing::ByContent
                                     : FeedRefreshJob::Parsing::ByStoredFormat,
                           fetchFeeds());
        for (const char* path : {"/a", "/r", "/a"})
            job.queue(m_http->url(path));
        job.queueNew(m_http->url("/p"));
        if (!removed.isEmpty())
            job.remove(m_http->url(removed));
        QSignalSpy finished(&job, &Job::finished);
        job.start();
        QVERIFY(finished.wait(10000));
        QStringList asked;
        for (const QByteArray& request : m_http->requests())
            asked << QString::fromLatin1(request.split(' ').value(1));
        QVERIFY(finished.first().first().value<Outcome>().succeeded() && job.pending().isEmpty());
        Database saved;
        saved.load();
        QStringList read;
        for (qsizetype i = 0; i < saved.count(); ++i)
            read << saved.objectAtIndex(i).value(LevelKey::name).toString();
        read = read.filter(QRegularExpression("^[AR]1$"));
        read.sort();
        QFETCH(QString, outcome);
        QCOMPARE(asked.join(' ') + " | " + read.join(' '), outcome);
        QCOMPARE(job.takeNotFeeds(), QList<QUrl>{m_http->url("/p")});
    }

    // Feed "a", RSS fresh for a day, is read as version "v1"; ten days later it offers A2, still
    // as "v1" (304: not read, due in a day as after a read) or as "v2" (read and kept).
    void unchangedFeed_data()
    {
        QTest::addColumn<QByteArray>("served");
        QTest::addColumn<QString>("expected"); // level | version kept | days until due
        QTest::newRow("unchanged") << QByteArray("\"v1\"") << "A1 | \"v1\" | 11";
        QTest::newRow("changed") << QByteArray("\"v2\"") << "A2 | \"v2\" | 11";
    }
    void unchangedFeed()
    {
        QFETCH(QByteArray, served);
        const QString feed = m_http->url("/a").toString();
        UserDefaults::standard().setObject(
            QVariantList{QVariantMap{{"urlDownload", feed}, {"format", "rss"}}}, "source");
        Repositories repositories;
        repositories.firstLoad();
        Database database;
        database.setRepositories(&repositories);
        database.firstLoad();
        FeedRefreshJob job(&database, &repositories, FeedRefreshJob::Parsing::ByStoredFormat,
                           fetchFeeds());
        QSignalSpy finished(&job, &Job::finished);
        const QString rss = "<rss><channel><ttl>1440</ttl><item><title>%1</title><enclosure "
                            "url='http://x.example/%1.zip' type='application/x-quillmor-level'/>"
                            "</item></channel></rss>";
        for (const auto& [level, etag] : {std::pair{"A1", QByteArray("\"v1\"")}, {"A2", served}}) {
            HttpFixture::Response answer = HttpFixture::answer(200, rss.arg(level).toUtf8());
            answer.etag = etag;
            m_http->setResponse("/a", answer);
            job.queue(QUrl(feed));
            job.start();
            QVERIFY(finished.wait(10000));
            database.setClock([] { return QDateTime::currentDateTimeUtc().addDays(10); });
        }
        const RepositoryEntry source = repositories.objectAtIndex(0);
        const qint64 due =
            QDateTime::currentDateTimeUtc().secsTo(source["nextCheckDate"].toDateTime());
        QFETCH(QString, expected);
        QCOMPARE(database.objectAtIndex(database.count() - 1).value("name").toString() + " | " +
                     source["etag"].toString() + " | " + QString::number(qRound(due / 86400.0)),
                 expected);
    }

    // Castle of feed "f" is installed from /Castle.zip, served "good", "no list" (without
    // levellist.dat), "empty" (a body of nothing) or "missing" (404), with an older Castle.zip
    // in the download folder. The setup's words: Castle "installed" (its feed publishes a
    // "mismatch"ing checksum), its folder "taken" by a local level, a "twin" Bastion of feed
    // "b" listing the same archive, a "local" copy of the archive installed instead, or
    // "update all" with A also installed and its update published.
    void install_data()
    {
        QTest::addColumn<QString>("served");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* tag, const char* served, const char* setup,
                            const char* answer, const QStringList& end) {
            QTest::newRow(tag) << served << setup << answer << end;
        };
        // How it left things: ended ("Succeeded", "Cancelled", or the failure's reason, with
        // "(told)" if told), the questions asked, TestHome::levelFolders(), the download folder's
        // files, the Trash, the levels installed ("name in folder", "*" where a good archive's
        // digest is recorded), and Update All's summary.
        const QString ok = "Succeeded", zip = "Castle.zip", good = "Castle in Castle*",
                      old = "Castle in Castle", fresh = "Castle (new)", kept = "Castle (old)";
        row("free folder", "good", "", "", {ok, "", fresh, zip, zip, good});
        row("another feed lists the archive", "good", "twin", "", {ok, "", fresh, zip, zip, good});
        row("local archive", "good", "local", "", {ok, "", fresh, zip, "", good});
        row("download fails", "missing", "installed", "",
            {"HTTP 404 (told)", "", kept, zip, "", old});
        // The archive already there is not traded for nothing.
        row("empty answer", "empty", "installed", "",
            {"The server sent an empty file.", "", kept, zip, "", old});
        const QString checksum = "checksum of Castle";
        row("checksum, Proceed", "good", "installed mismatch", "Proceed",
            {ok, checksum, fresh, zip, "Castle Castle.zip", good});
        // A refused archive goes, not to be taken for a good one later.
        row("checksum, Cancel", "good", "installed mismatch", "Cancel",
            {"Cancelled", checksum, kept, "", zip, old});
        row("checksum, Refuse", "good", "installed mismatch", "Refuse",
            {"The download does not match its checksum", checksum, kept, "", zip, old});
        row("taken, NewFolder", "good", "taken", "NewFolder",
            {ok, "folder taken", "Castle (old), Castle2 (new)", zip, zip,
             "Castle in Castle2*, " + old});
        // Overwrite forgets the local level that had the folder.
        row("taken, Overwrite", "good", "taken", "Overwrite",
            {ok, "folder taken", fresh, zip, "Castle Castle.zip", good});
        row("taken, Cancel", "good", "taken", "Cancel",
            {"Cancelled", "folder taken", kept, zip, zip, old});
        row("taken, Refuse", "good", "taken", "Refuse",
            {"Directory exists", "folder taken", kept, zip, zip, old});
        // Nobody is asked: A's folder is its own. (A failure summed up by name is the window's.)
        row("Update All, another feed lists an archive", "good", "installed, twin, update all", "",
            {ok, "", "A (new), Castle (new)", "A.zip Castle.zip", "A Castle Castle.zip",
             good + ", A in A*", "total 2, started 2, updated 2, failed: "});
    }
    void install()
    {
        QFETCH(QString, served);
        QFETCH(QString, setup);
        QFETCH(QString, answer);
        m_home->installGame();
        const QByteArray good = ZipBuilder().add("levellist.dat", "1").add("new.map", "x").bytes();
        const QByteArray castle =
            served == u"no list" ? ZipBuilder().add("x", "1").add("new.map", "x").bytes() : good;
        m_http->setResponse("/Castle.zip", HttpFixture::answer(served == u"missing" ? 404 : 200,
                                                               served == u"empty" ? "" : castle));
        m_http->setBody("/A.zip", good);
        const QString downloads = *getDownloadDir();
        m_home->createFile(downloads + "/Castle.zip", "older archive");
        const auto level = [this](const QString& name, const char* feed, const QString& archive,
                                  bool installed) {
            QVariantMap entry{{"name", name},
                              {"guid", "Castle"},
                              {"urlSource", feed},
                              {"urlDownload", m_http->url('/' + archive + ".zip").toString()},
                              {"pubDateInstall", QDateTime::currentDateTimeUtc().addDays(-1)},
                              {"pubDateRemote", QDateTime::currentDateTimeUtc()}};
            if (installed)
                entry.insert("urlInstall",
                             QUrl::fromLocalFile(m_home->createLevel(name) + '/').toString());
            return entry;
        };
        QVariantMap entry = level("Castle", "f", "Castle", setup.startsWith("installed"));
        if (setup.contains("mismatch"))
            entry.insert("sha1Remote", QByteArray(20, 'x'));
        QVariantList entries{entry};
        if (setup.contains("twin")) // first, where a lookup by its archive would find it
            entries.prepend(level("Bastion", "b", "Castle", false));
        if (setup == u"taken")
            m_home->createLevel("Castle");
        if (setup.endsWith("update all"))
            entries.append(level("A", "a", "A", true));
        m_home->writeCatalogue(entries);
        Database database;
        database.firstLoad();
        NotedQuestions questions;
        if (!answer.isEmpty())
            questions.answer = Questions::Answer(
                QStringList{"Proceed", "NewFolder", "Overwrite", "Cancel", "Refuse"}.indexOf(
                    answer));
        // The download as a window-free job makes it; a failure carries its status.
        const auto fetch = [this](const QUrl& source, const QUrl& file,
                                  std::function<void(const InstallJob::Fetched&)> done) {
            auto* transfer = new Transfer(&m_network, this);
            connect(transfer, &Transfer::finished, this, [transfer, done] {
                transfer->deleteLater();
                if (transfer->outcome() == Transfer::Outcome::Succeeded)
                    return done({Outcome::success(), transfer->sha1()});
                done({Outcome::failure(QString("HTTP %1").arg(transfer->httpStatus()), true), {}});
            });
            transfer->start(source, file.toLocalFile());
        };
        std::unique_ptr<Job> job;
        if (setup.endsWith("update all"))
            job = std::make_unique<UpdateAllJob>(
                &database, [&](const LevelIdentity& level, Questions* asked) {
                    return new InstallJob(&database, asked, fetch, level);
                });
        else if (setup == u"local")
            job = std::make_unique<InstallJob>(
                &database, &questions,
                QUrl::fromLocalFile(m_home->createFile("elsewhere/Castle.zip", good)));
        else
            job = std::make_unique<InstallJob>(&database, &questions, fetch,
                                               LevelIdentity{"f", "Castle", {}});
        QSignalSpy finished(job.get(), &Job::finished);
        job->start();
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() == 1, 10000);
        const Outcome ended = finished.first().first().value<Outcome>();
        const QByteArray digest = QCryptographicHash::hash(good, QCryptographicHash::Sha1);
        QStringList installed;
        for (qsizetype i = 0; i < database.count(); ++i) {
            const LevelEntry entry = database.objectAtIndex(i);
            const QString folder = entry.value("urlInstall").toString();
            if (!folder.isEmpty())
                installed << entry.value("name").toString() + " in " + folder.section('/', -2, -2) +
                                 (entry.value("sha1Install") == digest ? "*" : "");
        }
        QStringList seen{ended.kind == Outcome::Succeeded ? "Succeeded"
                         : ended.kind == Outcome::Cancelled
                             ? "Cancelled"
                             : ended.reason + (ended.told ? " (told)" : ""),
                         questions.asked.join(", "),
                         m_home->levelFolders(),
                         QDir(downloads).entryList(QDir::Files).join(' '),
                         m_home->trashed(),
                         installed.join(", ")};
        if (auto* run = qobject_cast<UpdateAllJob*>(job.get())) {
            const UpdateAllJob::Summary& sum = run->summary();
            seen << QString("total %1, started %2, updated %3, failed: ")
                            .arg(sum.total)
                            .arg(sum.started)
                            .arg(sum.updated) +
                        sum.failures.join(", ") + (sum.cancelled ? ", cancelled" : "");
        }
        QFETCH(QStringList, expected);
        QCOMPARE(seen, expected);
    }

private:
    // Feeds fetched by a window-free transfer, which asks whether a version it names changed.
    FeedRefreshJob::Fetch fetchFeeds()
    {
        return [this](const QUrl& url, const HttpValidators& known,
                      std::function<void(const FeedRefreshJob::Answer&)> done) {
            auto* transfer = new Transfer(&m_network, this);
            transfer->setConditions(known);
            connect(transfer, &Transfer::finished, this, [transfer, done] {
                transfer->deleteLater();
                const bool read = transfer->outcome() == Transfer::Outcome::Succeeded;
                done({read ? QVariant(transfer->data()) : QVariant(), transfer->notModified(),
                      transfer->validators()});
            });
            transfer->start(url);
        };
    }
};

QTEST_GUILESS_MAIN(FlowsTest)
#include "FlowsTest.moc"
