// The jobs on their own, without a window: feeds fetched straight from the loopback server,
// the stand-in game started as a process.

#include "catalogue/Database.h"
#include "flows/FeedRefreshJob.h"
#include "flows/GameRun.h"
#include "sources/Repositories.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/TestHome.h"

#include "platform/UserDefaults.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class FlowsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<HttpFixture> m_http;
    QNetworkAccessManager m_network;

    // Levels of a catalogue, by name, in its order.
    static QStringList names(const Database& database)
    {
        QStringList names;
        for (qsizetype i = 0; i < database.count(); ++i)
            names << database.objectAtIndex(i).value(LevelKey::name).toString();
        return names;
    }

private slots:
    void init() { m_home = std::make_unique<TestHome>(), m_http = std::make_unique<HttpFixture>(); }
    void cleanup() { m_http.reset(), m_home.reset(); }

    // Sources "a" (a text list) and "r" (stored as RSS, but serving a text list), then
    // address "p" (a web page) added. The queue is worked from its end, each feed once; a
    // removed feed is not fetched; the parser follows the stored format or the content.
    void feedRefresh_data()
    {
        QTest::addColumn<bool>("byContent");
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QString>("fetched");
        QTest::addColumn<QString>("levels");
        QTest::newRow("by stored format") << false << "" << "/p /r /a" << "A1";
        QTest::newRow("by content") << true << "" << "/p /r /a" << "A1 R1";
        QTest::newRow("a feed removed") << true << "/r" << "/p /a" << "A1";
    }
    void feedRefresh()
    {
        QFETCH(bool, byContent);
        QFETCH(QString, removed);
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
        const auto fetch = [this](const QUrl& url, std::function<void(const QVariant&)> done) {
            QNetworkReply* reply = m_network.get(QNetworkRequest(url));
            connect(reply, &QNetworkReply::finished, this, [reply, done] {
                reply->deleteLater();
                done(reply->error() ? QVariant() : QVariant(reply->readAll()));
            });
        };
        FeedRefreshJob job(&database, &repositories,
                           byContent ? FeedRefreshJob::Parsing::ByContent
                                     : FeedRefreshJob::Parsing::ByStoredFormat,
                           fetch);
        for (const char* path : {"/a", "/r", "/a"})
            job.queue(m_http->url(path));
        job.queueNew(m_http->url("/p"));
        if (!removed.isEmpty())
            job.remove(m_http->url(removed));
        QSignalSpy finished(&job, &Job::finished);
        job.start();
        QVERIFY(finished.wait(10000));
        QFETCH(QString, fetched);
        QFETCH(QString, levels);
        QStringList asked;
        for (const QByteArray& request : m_http->requests())
            asked << QString::fromLatin1(request.split(' ').value(1));
        QCOMPARE(asked.join(' '), fetched);
        QVERIFY(finished.first().first().value<Outcome>().succeeded() && job.pending().isEmpty());
        Database saved;
        saved.load();
        QStringList read = names(saved).filter(QRegularExpression("^[AR]1$"));
        read.sort();
        QCOMPARE(read.join(' '), levels);
        QCOMPARE(job.takeNotFeeds(), QList<QUrl>{m_http->url("/p")});
    }

    // A game that starts says so before it ends; one that cannot start ends failed, saying
    // which program it tried.
    void gameRun_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("starts");
        QTest::addColumn<int>("outcome");
        QTest::newRow("the stand-in game") << "" << 1 << int(Outcome::Succeeded);
        QTest::newRow("no such program") << "/nonexistent/game" << 0 << int(Outcome::Failed);
    }
    void gameRun()
    {
        QFETCH(QString, program);
        QFETCH(int, starts);
        QFETCH(int, outcome);
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "100");
        GameRun run(program.isEmpty() ? qEnvironmentVariable("QUILLMOR_BUILD_DIR") +
                                            "/demo/quillmor-game"
                                      : program,
                    {});
        QSignalSpy started(&run, &GameRun::started);
        QSignalSpy finished(&run, &Job::finished);
        run.start();
        QVERIFY(finished.wait(10000));
        const Outcome ended = finished.first().first().value<Outcome>();
        QCOMPARE(started.size(), starts);
        QCOMPARE(int(ended.kind), outcome);
        QVERIFY(ended.reason.isEmpty() == program.isEmpty() && ended.reason.contains(program));
    }
};

QTEST_GUILESS_MAIN(FlowsTest)
#include "FlowsTest.moc"
