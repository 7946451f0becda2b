#include "cells/DescriptionCell.h"
#include "install/Locations.h"
#include "install/StaleDownloads.h"
#include "platform/UserDefaults.h"
#include "tests/launcher/LauncherFixture.h"
#include "tests/support/HttpFixture.h"
#include "tests/support/ZipBuilder.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// Finding levels with the filter field, the counts line under the table and the start-up
// clean-up of the download folder, on the real window.
class FindTest : public QObject, private LauncherFixture
{
    Q_OBJECT

    std::unique_ptr<HttpFixture> m_http;

    QString downloads() const { return getDownloadDir().value_or(QString()); }
    QLineEdit* filter() const { return window()->findChild<QLineEdit*>("levelFilter"); }

    // Sorted by name: Castle (installed, update published), Crème Brûlée (the "Fjörd Levels"
    // feed's, not installed), Ocean (installed from an archive in the download folder),
    // Standard (selected at start).
    void startWithLevels()
    {
        const QDateTime older(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
        const QString nordic = "http://127.0.0.1:9/nordic";
        UserDefaults::standard().setObject(
            QVariantList{QVariantMap{{"name", "Fjörd Levels"},
                                     {"urlDownload", nordic},
                                     {"nextCheckDate", older.addYears(100)}}},
            "source");
        const QString made = home().filePath("made.zip");
        QFile zip(made);
        QVERIFY(ZipBuilder().add("levellist.dat", "1").write(made) &&
                zip.open(QIODevice::ReadOnly));
        const QByteArray archive = zip.readAll();
        QVariantList entries;
        for (const auto& [name, file, author, description, installed] :
             {std::tuple{"Castle", "/castle.zip", "Ann", "Towers and moats", true},
              std::tuple{"Crème Brûlée", "/creme.zip", "Zoë", "A sweet maze", false},
              std::tuple{"Ocean", "/ocean.zip", "BOB", "Deep \uFB01sh", true}}) {
            const QString path = file;
            QVariantMap entry{{"name", name},
                              {"guid", name},
                              {"author", author},
                              {"description", description},
                              {"urlSource", installed ? "http://127.0.0.1:9/other" : nordic},
                              {"pubDateInstall", older},
                              {"pubDateRemote", older.addDays(30)}};
            if (installed) {
                home().createLevel(name);
                entry.insert("urlInstall", folderUrl(name));
            }
            if (QString(name) == u"Ocean")
                entry.insert("urlZip", QUrl::fromLocalFile(downloads() + path).toString());
            else
                entry.insert("urlDownload", m_http->url(path).toString());
            m_http->setBody(path, archive);
            entries.append(entry);
        }
        home().writeCatalogue(entries);
        start();
    }

private slots:
    void init()
    {
        setUp();
        m_http = std::make_unique<HttpFixture>();
    }
    void cleanup()
    {
        tearDown();
        m_http.reset();
    }

    // Gestures, ';' apart: click a row, type into the field (Ctrl+F), Escape, sort by name
    // again, Delete the selected level, get (install or update) a level by its cell's button.
    void find_data()
    {
        QTest::addColumn<QString>("gestures");
        QTest::addColumn<QString>("outcome"); // selected, launch button | shown | counts line
        const QString all = "Castle, Crème Brûlée, Ocean, Standard | ";
        const QString counts = " | 2 levels installed, 1 update available";
        const auto row = [](const char* tag, const char* gestures, const QString& outcome) {
            QTest::newRow(tag) << gestures << outcome;
        };
        row("name, other case", "type CASTLE", " off | Castle" + counts);
        row("name, accents left out", "type creme brulee", " off | Crème Brûlée" + counts);
        row("accents typed on a bare name", "type ÓCEAN", " off | Ocean" + counts);
        row("author", "type zoe", " off | Crème Brûlée" + counts);
        row("description, ligature", "type fish", " off | Ocean" + counts);
        row("source name", "type fjord", " off | Crème Brûlée" + counts);
        row("source without a name", "type /other", " off | Castle, Ocean" + counts);
        row("not across columns", "type castleann", " off | " + counts);
        row("selected row shown", "click Ocean;type fish", "Ocean on | Ocean" + counts);
        row("Escape shows every row", "click Castle;type ocean;escape",
            " off | Castle, Crème Brûlée, Ocean, Standard" + counts);
        row("re-sort keeps the filter", "click Ocean;type an;sort",
            "Ocean on | Standard, Ocean, Castle" + counts);
        row("update", "get Castle",
            "Castle on | " + all + "2 levels installed, 0 updates available");
        row("install", "get Crème Brûlée",
            "Crème Brûlée on | " + all + "3 levels installed, 1 update available");
        row("delete in a filtered table", "type fish;click Ocean;delete",
            "Ocean off | Ocean | 1 level installed, 1 update available");
    }
    void find()
    {
        QFETCH(QString, gestures);
        QFETCH(QString, outcome);
        startWithLevels();
        for (const QString& gesture : gestures.split(';')) {
            const QString argument = gesture.section(' ', 1);
            if (gesture.startsWith("click")) {
                clickRow(argument);
            } else if (gesture.startsWith("type")) {
                QTest::keyClick(window(), Qt::Key_F, Qt::ControlModifier);
                QTRY_VERIFY(filter()->hasFocus());
                QTest::keyClicks(filter(), argument);
            } else if (gesture == "escape") {
                QTest::keyClick(filter(), Qt::Key_Escape);
            } else if (gesture == "sort") {
                clickHeader("name");
            } else if (gesture == "delete") {
                QTest::keyClick(table(), Qt::Key_Delete);
                answerSheet();
            } else {
                const QModelIndex index = model()->index(rowOf(argument), 2);
                auto* cell = qobject_cast<DescriptionCell*>(table()->itemDelegateForColumn(2));
                launcher()->willDisplayCell(*cell, index);
                const auto parts = cell->layout(table()->visualRect(index), table()->viewport());
                QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                                  parts.install.value_or(parts.update.value_or(QRect())).center());
                QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
                answerSheet();
            }
        }
        QStringList shown;
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (!table()->isRowHidden(row))
                shown.append(model()->index(row, 0).data().toString());
        }
        const bool on = launcher()->lauchQuillmorButton()->isEnabled();
        QCOMPARE(selectedName() + (on ? " on | " : " off | ") + shown.join(", ") + " | " +
                     window()->findChild<QLabel*>("levelCounts")->text(),
                 outcome);
    }

    void staleDownloadsAtStart()
    {
        for (const char* name : {"castle.zip", "ocean.zip", "old.zip", "ocean.zip.download"})
            home().createFile(downloads() + u'/' + name, "zip");
        startWithLevels();
        QCOMPARE(QDir(home().dataHome() + "/Trash/files").entryList(QDir::Files).join(' ') + " | " +
                     QDir(downloads()).entryList(QDir::Files).join(' '),
                 QStringLiteral("ocean.zip.download old.zip | castle.zip ocean.zip"));
    }

    // The file a transfer writes stays, whatever its name says.
    void staleDownloadsSpareTheRunningTransfer()
    {
        QTemporaryDir folder;
        for (const char* name : {"a.zip", "b.zip", "a.zip.download", "b.zip.download"})
            QVERIFY(QFile(folder.filePath(name)).open(QIODevice::WriteOnly));
        QStringList chosen =
            chooseStaleDownloads(folder.path(), {"a.zip"}, {folder.filePath("b.zip.download")});
        for (QString& path : chosen)
            path = QFileInfo(path).fileName();
        QCOMPARE(chosen.join(' '), QStringLiteral("a.zip.download b.zip"));
    }
};

QTEST_MAIN(FindTest)
#include "FindTest.moc"
