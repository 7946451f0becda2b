#include "tests/fuzz/FuzzCheck.h"

#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

QHash<QByteArray, FuzzEntry>& targets()
{
    static QHash<QByteArray, FuzzEntry> registry;
    return registry;
}

} // namespace

FuzzTarget::FuzzTarget(const char* name, FuzzEntry entry)
{
    targets().insert(name, entry);
}

void fuzzFailure(const char* what, const QVariant& expected, const QVariant& actual)
{
    std::fprintf(stderr, "\n==fuzz== property failed: %s\n", what);
    for (const auto& [label, value] : {std::pair{"expected", expected}, {"actual", actual}})
        if (value.isValid())
            std::fprintf(stderr, "%s (%s):\n%s\n", label, value.typeName(),
                         PropertyList::toXml(value).constData());
    std::fflush(stderr);
    std::abort();
}

bool sameVariant(const QVariant& a, const QVariant& b)
{
    if (a.metaType() != b.metaType())
        return false;
    if (a.metaType().id() == QMetaType::QVariantList) {
        const QVariantList x = a.toList(), y = b.toList();
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), sameVariant);
    }
    if (a.metaType().id() == QMetaType::QVariantMap) {
        const QVariantMap x = a.toMap(), y = b.toMap();
        return x.keys() == y.keys() && std::equal(x.begin(), x.end(), y.begin(), sameVariant);
    }
    const bool nans = std::isnan(a.toDouble()) && std::isnan(b.toDouble());
    return (a.metaType().id() == QMetaType::Double && nans) || a == b;
}

#ifdef QUILLMOR_FUZZ_TARGET
// The fuzzing build: libFuzzer's driver feeds the target this program was built for.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzEntry entry = targets().value(QUILLMOR_FUZZ_TARGET);
    entry(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
#else
// The replay test: every file named, and every file of every folder named, through the named
// target's entry point. A property that fails aborts, as under the fuzzer.
int main(int argc, char** argv)
{
    const FuzzEntry entry = targets().value(argc > 1 ? argv[1] : "");
    QFileInfoList files;
    for (int i = 2; i < argc; ++i) {
        const QFileInfo given(QFile::decodeName(argv[i]));
        files += given.isDir() ? QDir(argv[i]).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)
                               : QFileInfoList{given};
    }
    for (const QFileInfo& file : files) {
        QFile input(file.filePath());
        std::printf("%s\n", qPrintable(file.filePath()));
        std::fflush(stdout);
        if (!entry || !input.open(QIODevice::ReadOnly))
            return 2;
        entry(input.readAll());
    }
    return entry ? 0 : 2;
}
#endif
