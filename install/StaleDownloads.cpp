#include "install/StaleDownloads.h"

#include <QDir>
#include <QFileInfo>

QStringList chooseStaleDownloads(const QString& folder, const QSet<QString>& namesInUse,
                                 const QSet<QString>& beingWritten)
{
    QStringList stale;
    // QDir::System lists dangling links too: an archive link whose target is gone is as
    // unused as the archive would be.
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString path = file.absoluteFilePath();
        if (beingWritten.contains(path) || beingWritten.contains(file.filePath()))
            continue;
        const QString name = file.fileName();
        if (name.endsWith(u".download") || !namesInUse.contains(name))
            stale.append(path);
    }
    return stale;
}
