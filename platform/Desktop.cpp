#include "platform/Desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace Desktop {

bool isWebAddress(const QUrl& url)
{
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
           !url.host().isEmpty();
}

bool openUrl(const QUrl& url)
{
    return isWebAddress(url) && QDesktopServices::openUrl(url);
}

void showInFileBrowser(const QString& path, std::function<void(const QUrl& folder)> failed)
{
    // A level folder's path ends in a slash, which would make the folder its own parent.
    const QFileInfo info(QDir::cleanPath(path));
    const QUrl folder = QUrl::fromLocalFile(info.absolutePath());
    const auto openFolder = [folder, failed] {
        if (!QDesktopServices::openUrl(folder) && failed)
            failed(folder);
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
    // Asked without waiting: a file manager that is slow to start must not freeze the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* answered) {
                         if (answered->isError())
                             openFolder();
                         answered->deleteLater();
                     });
}

} // namespace Desktop
