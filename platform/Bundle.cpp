#include "platform/Bundle.h"

#include "platform/PropertyList.h"

#include <QCoreApplication>

Bundle::Bundle(QString path, QString identifier, QString executablePath, QVariantMap info)
    : m_path(std::move(path)), m_identifier(std::move(identifier)),
      m_executablePath(std::move(executablePath)), m_info(std::move(info))
{
}

Bundle Bundle::main()
{
    const QString override = qEnvironmentVariable("QUILLMOR_LAUNCHER_INFO_PLIST");
    const QString infoPath = override.isEmpty() ? QStringLiteral(":/launcher/Info.plist") : override;
    const auto info = PropertyList::readFile(infoPath);
    const QVariantMap dictionary = info ? info->toMap() : QVariantMap();
    const QString executable =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    return Bundle(infoPath, dictionary.value(QStringLiteral("BundleIdentifier")).toString(),
                  executable, dictionary);
}
