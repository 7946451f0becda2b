// Serves the files of a folder on 127.0.0.1 for the transfer benchmark; prints the port on
// the first line of its output and runs until it is killed.

#include "tests/support/HttpFixture.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_transfer_server FOLDER\n");
        return 2;
    }
    HttpFixture server;
    server.serveDirectory(QString::fromLocal8Bit(argv[1]));
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
