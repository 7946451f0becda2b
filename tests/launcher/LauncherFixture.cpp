#include "tests/launcher/LauncherFixture.h"

#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

const char* const kSchemes[] = {"http", "https", "file", "javascript"};

} // namespace

OpenedUrls::OpenedUrls()
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    for (const char* scheme : kSchemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

OpenedUrls::~OpenedUrls()
{
    for (const char* scheme : kSchemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void LauncherFixture::setUp()
{
    m_home = std::make_unique<TestHome>();
    m_home->installGame();
    m_http = std::make_unique<HttpFixture>();
    // No feed of the installed default list is reachable from a test; a start-up refresh of
    // them would put a transfer sheet over the window.
    UserDefaults::standard().setObject(QVariantList(), QStringLiteral("source"));
    qputenv("QUILLMOR_GAME_LOG", QFile::encodeName(m_home->filePath("game.log")));
    if (qEnvironmentVariableIsEmpty("QUILLMOR_GAME_QUIT_AFTER"))
        qputenv("QUILLMOR_GAME_QUIT_AFTER", "200");
    // A closed window would otherwise end every event loop a later case starts.
    QApplication::setQuitOnLastWindowClosed(false);
}

void LauncherFixture::tearDown()
{
    m_definition.reset();
    m_http.reset();
    m_home.reset();
}

void LauncherFixture::start()
{
    m_definition = std::make_unique<WindowDefinition>();
    m_definition->load();
    window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
}

QString LauncherFixture::folderUrl(const QString& name) const
{
    return QUrl::fromLocalFile(m_home->gameLevelDir() + u'/' + name + u'/')
        .toString(QUrl::FullyEncoded);
}

QVariantMap LauncherFixture::installedLevel(const QString& name) const
{
    m_home->createLevel(name);
    return {{"name", name},
            {"guid", name},
            {"urlDownload", m_http->url(u'/' + name + ".zip").toString()},
            {"urlInstall", folderUrl(name)},
            {"pubDateInstall", QDateTime::currentDateTimeUtc().addDays(-1)},
            {"pubDateRemote", QDateTime::currentDateTimeUtc()}};
}

QStringList LauncherFixture::gameLog() const
{
    QFile log(m_home->filePath("game.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n');
    lines.removeLast(); // every line ends with a newline
    return lines;
}

QString LauncherFixture::gamesPlayed() const
{
    const QStringList runs = gameLog();
    return runs.isEmpty() ? QString() : u'(' + runs.join(")(") + u')';
}

QStringList LauncherFixture::labelled(const QStringList& labels, const QStringList& values)
{
    QStringList facts;
    for (qsizetype i = 0; i < qMax(labels.size(), values.size()); ++i)
        facts.append(labels.value(i) + QStringLiteral(": ") + values.value(i));
    return facts;
}

QStringList LauncherFixture::names() const
{
    QStringList list;
    for (int row = 0; row < model()->rowCount(); ++row)
        list.append(model()->index(row, 0).data().toString());
    return list;
}

QString LauncherFixture::selectedName() const
{
    const QModelIndexList rows = table()->selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

QPoint LauncherFixture::rowPoint(const QString& name, const QString& column) const
{
    return table()->visualRect(model()->index(rowOf(name), model()->columnOf(column))).center();
}

void LauncherFixture::clickAt(const QPoint& point, Qt::KeyboardModifiers modifiers)
{
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, modifiers, point);
}

void LauncherFixture::doubleClickRow(const QString& name)
{
    clickRow(name); // the view plays only a row that the press of the click chose
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, rowPoint(name));
    waitForGame();
}

void LauncherFixture::waitForGame() const
{
    QTRY_VERIFY_WITH_TIMEOUT(!launcher()->isPlaying(), 10000);
    QCoreApplication::processEvents(); // what the game's end leads to: its sheet
}

void LauncherFixture::clickHeader(const QString& column)
{
    QHeaderView* header = table()->horizontalHeader();
    const int section = model()->columnOf(column);
    const QPoint at(header->sectionViewportPosition(section) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

bool LauncherFixture::sheetUp()
{
    return QTest::qWaitFor(
        [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 20000);
}

QString LauncherFixture::answerSheet(const QString& button)
{
    // A sheet is on screen as soon as the call that opened it returns.
    auto* sheet = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!sheet)
        return {};
    const QString text = sheet->text();
    m_informative = sheet->informativeText();
    for (QAbstractButton* candidate : sheet->buttons()) {
        if (candidate->text() == button)
            QTest::mouseClick(candidate, Qt::LeftButton);
    }
    if (button.isEmpty())
        QTest::keyClick(sheet, Qt::Key_Return);
    return text;
}

void LauncherFixture::writeMixedCatalogue()
{
    const QDateTime older(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
    for (const char* name : {"Old", "Current", "Found"})
        m_home->createLevel(name);
    QVariantList entries;
    for (const auto& [name, installed, newer, website] :
         {std::tuple{"Remote", false, true, "http://127.0.0.1:9/remote"},
          std::tuple{"Old", true, true, "https://127.0.0.1:9/old"},
          std::tuple{"Current", true, false, "file:///etc/passwd"},
          std::tuple{"Vanished", true, false, "javascript:alert(1)"}})
        entries.append(QVariantMap{{"name", name},
                                   {"guid", name},
                                   {"urlWebsite", website},
                                   {"urlSource", "http://127.0.0.1:9/feed"},
                                   {"urlInstall", installed ? folderUrl(name) : ""},
                                   {"urlDownload", "http://127.0.0.1:9/level.zip"},
                                   {"pubDateInstall", older},
                                   {"pubDateRemote", older.addDays(newer ? 30 : 0)}});
    m_home->writeCatalogue(entries);
}

void LauncherFixture::contextMenu(const QString& name, const QString& item)
{
    QTimer::singleShot(0, table(), [item] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* action : menu->actions()) {
            if (action->text() == item)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        }
        menu->close();
    });
    const QPoint at = rowPoint(name);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, table()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(table()->viewport(), &event);
}

DescriptionCell::Layout LauncherFixture::cellLayout(const QString& name) const
{
    const QModelIndex index = model()->index(rowOf(name), model()->columnOf("description"));
    return m_definition->levelCell()->layout(table()->visualRect(index), index, table());
}
