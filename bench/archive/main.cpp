// Command-line front for timing the archive functions from bench/archive/run:
//   bench_archive unzip <archive> <folder>   exit status 0 when unzipLevel answers true
//   bench_archive sha1 <file>                prints the digest in hexadecimal
//   bench_archive stage <archive> <folder>   a staged install into the folder, which is put
//                                            in place; exit status 0 when it is

#include "install/Archive.h"
#include "install/StagedInstall.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "unzip") == 0) {
        const QUrl archive = QUrl::fromLocalFile(QFile::decodeName(argv[2]));
        const QUrl folder = QUrl::fromLocalFile(QFile::decodeName(argv[3]));
        return unzipLevel(archive, folder) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "stage") == 0) {
        const QUrl archive = QUrl::fromLocalFile(QFile::decodeName(argv[2]));
        const QUrl folder =
            QUrl::fromLocalFile(QFileInfo(QFile::decodeName(argv[3])).absoluteFilePath() + '/');
        const StagedLevel level = stageLevel(archive, folder);
        if (!level.isStaged())
            std::fprintf(stderr, "%s\n", qPrintable(level.reason));
        return level.isStaged() && !swapIntoPlace(level) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "sha1") == 0) {
        const auto digest = calcSHA1(QUrl::fromLocalFile(QFile::decodeName(argv[2])));
        if (!digest)
            return 1;
        std::printf("%s\n", digest->toHex().constData());
        return 0;
    }
    std::fprintf(stderr, "usage: %s unzip ARCHIVE FOLDER | stage ARCHIVE FOLDER | sha1 FILE\n",
                 argv[0]);
    return 2;
}
