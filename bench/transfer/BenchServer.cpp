// Serves the files of a folder on 127.0.0.1 for the benchmarks, at loopback speed or at up to
// the megabytes a second a second argument gives; prints the port on the first line of its
// output and runs until it is killed.

#include "tests/support/HttpFixture.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: bench_transfer_server FOLDER [MEGABYTES-PER-SECOND]\n");
        return 2;
    }
    HttpFixture server;
    server.serveDirectory(QString::fromLocal8Bit(argv[1]),
                          argc == 3 ? QByteArray(argv[2]).toLongLong() << 20 : 0);
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
