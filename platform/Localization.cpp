#include "platform/Localization.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

QString localizedString(const char* english)
{
    return QCoreApplication::translate("Quillmor", english);
}

QStringList translationFolders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {program + QStringLiteral("/translations"),
            QDir::cleanPath(program + QStringLiteral("/../share/quillmor-launcher/translations"))};
}

namespace {

const QString kCatalogueName = QStringLiteral("quillmor-launcher");

// load() also tries the language without its territory: "de-AT" finds "_de".
std::unique_ptr<QTranslator> loadCatalogue(const QLocale& locale, const QString& name,
                                           const QString& folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), folder))
        return nullptr;
    return translator;
}

std::unique_ptr<QTranslator> findCatalogue(const QStringList& uiLanguages,
                                           const QStringList& folders)
{
    for (const QString& language : uiLanguages) {
        const QLocale locale(language);
        if (locale.language() == QLocale::English)
            return nullptr;
        // A language Qt does not know has no catalogue of ours either.
        if (locale.language() == QLocale::C)
            continue;
        for (const QString& folder : folders) {
            if (auto translator = loadCatalogue(locale, kCatalogueName, folder))
                return translator;
        }
    }
    return nullptr;
}

void install(std::unique_ptr<QTranslator> translator)
{
    translator->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(translator.release());
}

} // namespace

std::optional<QString> findTranslation(const QStringList& uiLanguages, const QStringList& folders)
{
    const auto translator = findCatalogue(uiLanguages, folders);
    if (!translator)
        return std::nullopt;
    return translator->filePath();
}

void installTranslations(const QStringList& uiLanguages, const QStringList& folders)
{
    auto translator = findCatalogue(uiLanguages, folders);
    if (!translator)
        return;
    // Standard dialogs and network errors speak the same language when Qt's own catalogue is
    // installed; without it they stay English.
    const QLocale locale(translator->language());
    install(std::move(translator));
    if (auto qt = loadCatalogue(locale, QStringLiteral("qtbase"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        install(std::move(qt));
}
