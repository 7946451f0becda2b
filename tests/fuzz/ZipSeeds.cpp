// Writes the seed archives of the unzip target into the folder named on the command line:
// level archives as archivers make them, small enough for the fuzzer to mutate.

#include "tests/support/ZipBuilder.h"

#include <QDir>

int main(int argc, char** argv)
{
    const QDir dir(QFile::decodeName(argc == 2 ? argv[1] : ""));
    const QByteArray levels = "castle.map\nbridge.map\n",
                     map = QByteArray("tile 0 0 grass\n").repeated(20);
    const std::pair<const char*, ZipBuilder> seeds[] = {
        {"one-stored.zip", ZipBuilder().add("levellist.dat", levels, ZipBuilder::Stored)},
        {"level.zip", ZipBuilder()
                          .add("levellist.dat", levels)
                          .add("castle.map", map)
                          .add("bridge.map", map, ZipBuilder::Stored)},
        {"empty-entry.zip", ZipBuilder().add("levellist.dat", {}).add("brücke.map", "x")},
        {"with-folder.zip", ZipBuilder().addFolder("maps/").add("levellist.dat", levels)}};
    bool ok = argc == 2 && dir.mkpath(".");
    for (const auto& [file, zip] : seeds)
        ok = ok && zip.write(dir.filePath(file));
    return ok ? 0 : 1;
}
