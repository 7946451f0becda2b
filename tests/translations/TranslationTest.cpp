// The launcher as a German-speaking user starts it: the catalogue main() picks for the user's
// languages, and the window's texts once it is installed.

#include "platform/Localization.h"
#include "tests/launcher/LauncherFixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QTest>

static const QStringList kBuiltCatalogues{qEnvironmentVariable("QUILLMOR_BUILD_DIR") +
                                          QStringLiteral("/translations")};

class TranslationTest : public QObject
{
    Q_OBJECT

    LauncherFixture m_fixture;

private slots:
    void init() { m_fixture.setUp(); }
    void cleanup() { m_fixture.tearDown(); }

    // The first of the user's languages that has a catalogue; English, ranked above the
    // others, needs none.
    void catalogueForLanguages()
    {
        const auto german = findTranslation({"fr-FR", "de-DE"}, kBuiltCatalogues);
        QCOMPARE(QFileInfo(german.value_or(QString())).fileName(), "quillmor-launcher_de.qm");
        QVERIFY(!findTranslation({"en-GB", "de"}, kBuiltCatalogues));
    }

    // The window speaks German, in the texts of its form and in those its code writes; the
    // longer German counts line stays whole however narrow the window gets.
    void windowSpeaksGerman()
    {
        m_fixture.home().createLevel(QStringLiteral("Tidewater"));
        m_fixture.start();
        QCOMPARE(m_fixture.launcher()->lauchQuillmorButton()->text(), QString("Spielen"));
        const QLabel* counts = m_fixture.launcher()->levelCountsLabel();
        QCOMPARE(counts->text(), "1 Level installiert, 0 Aktualisierungen verfügbar");
        m_fixture.window()->resize(1, 1);
        QTRY_VERIFY(counts->width() >= counts->sizeHint().width());
    }
};

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
