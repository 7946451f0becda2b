// Writes the seed archives of the unzip target into the folder named on the command line:
// level archives as archivers make them, small enough for the fuzzer to mutate.

#include "tests/support/ZipBuilder.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_zip_seeds FOLDER\n");
        return 2;
    }
    const QDir dir(QFile::decodeName(argv[1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    const QByteArray levels = "castle.map\nbridge.map\n";
    const QByteArray map = QByteArray("tile 0 0 grass\n").repeated(20);
    const struct
    {
        const char* file;
        ZipBuilder zip;
    } seeds[] = {
        {"one-deflated.zip", ZipBuilder().add("levellist.dat", levels)},
        {"one-stored.zip", ZipBuilder().add("levellist.dat", levels, ZipBuilder::Stored)},
        {"level.zip", ZipBuilder()
                          .add("levellist.dat", levels)
                          .add("castle.map", map)
                          .add("bridge.map", map, ZipBuilder::Stored)},
        {"empty-entry.zip", ZipBuilder()
                                .add("levellist.dat", {})
                                .add("br\xc3\xbc"
                                     "cke.map",
                                     "x")},
        {"with-folder.zip", ZipBuilder().addFolder("maps/").add("levellist.dat", levels)},
    };
    for (const auto& seed : seeds) {
        if (!seed.zip.write(dir.filePath(QString::fromLatin1(seed.file))))
            return 1;
    }
    return 0;
}
