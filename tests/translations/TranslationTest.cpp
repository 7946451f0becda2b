// The launcher as a German-speaking user starts it: the catalogue main() picks for the user's
// languages, and the window's texts once it is installed.

#include "platform/Localization.h"
#include "tests/launcher/LauncherFixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QTest>

static const QStringList kBuiltCatalogues{qEnvironmentVariable("QUILLMOR_BUILD_DIR") +
                                          QStringLiteral("/translations")};

class TranslationTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_fixture.setUp(); }
    void cleanup() { m_fixture.tearDown(); }

    void catalogueForLanguages_data();
    void catalogueForLanguages();
    void windowSpeaksGerman_data();
    void windowSpeaksGerman();
    void countsLineWholeInNarrowestWindow();

private:
    LauncherFixture m_fixture;
};

void TranslationTest::catalogueForLanguages_data()
{
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QString>("catalogue");
    const QString german = QStringLiteral("quillmor-launcher_de.qm");
    QTest::newRow("German") << QStringList{"de"} << german;
    QTest::newRow("one without a catalogue, then German")
        << QStringList{"fr-FR", "de-DE"} << german;
    QTest::newRow("English ranked above German") << QStringList{"en-GB", "de"} << QString();
}

void TranslationTest::catalogueForLanguages()
{
    QFETCH(QStringList, languages);
    QFETCH(QString, catalogue);
    QCOMPARE(QFileInfo(findTranslation(languages, kBuiltCatalogues).value_or(QString())).fileName(),
             catalogue);
}

void TranslationTest::windowSpeaksGerman_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("german");
    QTest::newRow("menu title") << "helpMenu" << QByteArray("title") << "&Hilfe";
    QTest::newRow("counts line") << "levelCounts" << QByteArray("text")
                                 << "1 Level installiert, 0 Aktualisierungen verfügbar";
    QTest::newRow("play button") << "lauchQuillmorButton" << QByteArray("text") << "Spielen";
}

void TranslationTest::windowSpeaksGerman()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QString, german);
    m_fixture.home().createLevel(QStringLiteral("Tidewater"));
    m_fixture.start();
    const QObject* widget = m_fixture.window()->findChild<QObject*>(object);
    QVERIFY(widget);
    QCOMPARE(widget->property(property).toString(), german);
}

void TranslationTest::countsLineWholeInNarrowestWindow()
{
    m_fixture.start();
    m_fixture.window()->resize(1, 1);
    const auto* counts = m_fixture.window()->findChild<QWidget*>(QStringLiteral("levelCounts"));
    QTRY_VERIFY(counts->width() >= counts->sizeHint().width());
}

int main(int argc, char** argv)
{
    // The user's languages are read once, when the locale is first asked for.
    qputenv("LANGUAGE", "de");
    QApplication app(argc, argv);
    // What main() does before the window definition, with this build's catalogues.
    installTranslations(QLocale::system().uiLanguages(), kBuiltCatalogues);
    TranslationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TranslationTest.moc"
