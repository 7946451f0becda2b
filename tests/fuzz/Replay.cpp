// Runs kept inputs through a fuzz target's entry point without libFuzzer: every file named,
// and every file in every folder named. A property that fails aborts, as under the fuzzer.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

using Entry = int (*)(const uint8_t*, size_t);

extern "C" int fuzz_plist(const uint8_t*, size_t);
extern "C" int fuzz_rss(const uint8_t*, size_t);
extern "C" int fuzz_xml(const uint8_t*, size_t);
extern "C" int fuzz_txt(const uint8_t*, size_t);
extern "C" int fuzz_date(const uint8_t*, size_t);
extern "C" int fuzz_unzip(const uint8_t*, size_t);
extern "C" int fuzz_database(const uint8_t*, size_t);

namespace {

const struct
{
    const char* name;
    Entry entry;
} kTargets[] = {{"plist", fuzz_plist},      {"rss", fuzz_rss},   {"xml", fuzz_xml},
                {"txt", fuzz_txt},          {"date", fuzz_date}, {"unzip", fuzz_unzip},
                {"database", fuzz_database}};

bool replay(Entry entry, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    entry(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Entry entry = nullptr;
    for (const auto& target : kTargets) {
        if (argc > 1 && std::strcmp(argv[1], target.name) == 0)
            entry = target.entry;
    }
    if (!entry) {
        std::fprintf(stderr, "usage: fuzz_replay TARGET FILE-OR-FOLDER...\n");
        return 2;
    }
    bool ok = true;
    for (int i = 2; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        if (!QFileInfo(path).isDir()) {
            ok = replay(entry, path) && ok;
            continue;
        }
        const QDir dir(path);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
            ok = replay(entry, dir.filePath(name)) && ok;
    }
    return ok ? 0 : 1;
}
