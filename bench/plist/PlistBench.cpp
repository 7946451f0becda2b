// Writes and reads a catalogue-shaped property list of 10,000 level entries and prints the
// best wall time of each, in seconds: "write <s>" and "read <s>". The file is left at the
// given path for the peer to read and write the same data.

#include "platform/PropertyList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QVariantList>

#include <cstdio>

namespace {

QVariantList catalogue(int count)
{
    QVariantList list;
    list.reserve(count);
    const QDateTime base(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("Level %1").arg(i);
        QByteArray sha1(20, char(i));
        list.append(QVariantMap{
            {QStringLiteral("name"), name},
            {QStringLiteral("author"), QStringLiteral("Author %1").arg(i % 97)},
            {QStringLiteral("description"), QStringLiteral("A level with <markup> & text number %1").arg(i)},
            {QStringLiteral("guid"), QStringLiteral("guid-%1").arg(i)},
            {QStringLiteral("urlInstall"), i % 10 == 0 ? QStringLiteral("file:///home/p/.local/share/org.quillmor.Quillmor/Levels/L%1/").arg(i) : QString()},
            {QStringLiteral("urlDownload"), QStringLiteral("http://levels.example/L%1.zip").arg(i)},
            {QStringLiteral("urlWebsite"), QStringLiteral("http://levels.example/L%1").arg(i)},
            {QStringLiteral("urlSource"), QStringLiteral("http://levels.example/feed.rss")},
            {QStringLiteral("sha1Install"), i % 10 == 0 ? sha1 : QByteArray()},
            {QStringLiteral("sha1Remote"), sha1},
            {QStringLiteral("pubDateInstall"), distantPast()},
            {QStringLiteral("pubDateRemote"), base.addSecs(i * 3600)},
            {QStringLiteral("length"), qint64(100000 + i)},
            {QStringLiteral("exists"), i % 10 == 0},
        });
    }
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const QVariantList list = catalogue(10000);

    double bestWrite = 1e9, bestRead = 1e9;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!PropertyList::writeFile(path, list))
            return 1;
        bestWrite = std::min(bestWrite, timer.nsecsElapsed() / 1e9);
        timer.restart();
        const auto read = PropertyList::readFile(path);
        bestRead = std::min(bestRead, timer.nsecsElapsed() / 1e9);
        if (!read || read->toList().size() != list.size())
            return 1;
    }
    std::printf("write %.4f\nread %.4f\n", bestWrite, bestRead);
    return 0;
}
