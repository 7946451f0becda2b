// Unpacks any bytes as a level archive into a fresh level folder of a fresh root. Nothing may
// appear anywhere but in that folder, and what appears there is plain files: an entry that
// reaches beside or above the folder would let a feed write into the player's home.

#include "install/Archive.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QStringList everything(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The archive lies beside the roots, so that its folder shows what escaped a root too.
    static QTemporaryDir base;
    if (!base.isValid())
        fuzzFailure("no temporary folder for the archives");
    const QString archive = base.filePath(QStringLiteral("level.zip"));
    {
        QFile file(archive);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            fuzzFailure("cannot write the archive");
    }
    const QString root = base.filePath(QStringLiteral("root"));
    const QString folder = root + QStringLiteral("/level");
    QDir(root).removeRecursively();
    QDir().mkpath(folder);

    const bool unpacked =
        unzipLevel(QUrl::fromLocalFile(archive), QUrl::fromLocalFile(folder + u'/'));

    if (everything(base.path()) != QStringList{QStringLiteral("level.zip"), QStringLiteral("root")})
        fuzzFailure("the archive wrote beside the root", {}, everything(base.path()));
    if (everything(root) != QStringList{QStringLiteral("level")})
        fuzzFailure("the archive wrote beside the level folder", {}, everything(root));
    for (const QString& name : everything(folder)) {
        const QFileInfo info(QDir(folder).filePath(name));
        if (!info.isFile() || info.isSymLink())
            fuzzFailure("the archive made something other than a file", unpacked, name);
    }
    QDir(root).removeRecursively();
    return 0;
}
