#include "install/StaleDownloads.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kPartial = QStringLiteral(".download");
const QString kResumeState = QStringLiteral(".download.plist");
// How long a partial download waits to be resumed.
constexpr qint64 kKeepPartialSecs = 7 * 24 * 3600;

} // namespace

QStringList chooseStaleDownloads(const QString& folder, const QSet<QString>& namesInUse,
                                 const QSet<QString>& beingWritten, const QDateTime& now)
{
    const auto written = [&](const QFileInfo& file) {
        return beingWritten.contains(file.absoluteFilePath()) ||
               beingWritten.contains(file.filePath());
    };
    const auto partialStays = [&](const QFileInfo& partial) {
        return written(partial) ||
               (partial.isFile() &&
                namesInUse.contains(partial.fileName().chopped(kPartial.size())) &&
                partial.lastModified().secsTo(now) < kKeepPartialSecs);
    };
    QStringList stale;
    // QDir::System lists dangling links too: an archive link whose target is gone is as
    // unused as the archive would be.
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString path = file.filePath();
        // A resume state goes and stays with the partial download beside it.
        const QString partial = path.endsWith(kResumeState)
                                    ? path.chopped(kResumeState.size() - kPartial.size())
                                : path.endsWith(kPartial) ? path
                                                          : QString();
        const bool stays =
            written(file) || (partial.isEmpty() ? namesInUse.contains(file.fileName())
                                                : partialStays(QFileInfo(partial)));
        if (!stays)
            stale.append(file.absoluteFilePath());
    }
    return stale;
}

bool isPartialDownload(const QString& path)
{
    return path.endsWith(kPartial) || path.endsWith(kResumeState);
}
