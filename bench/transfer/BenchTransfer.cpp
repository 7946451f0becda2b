// Fetches one URL into a file the way the install flow does, behind the progress sheet on a
// window, and exits 0 when the completion reports the file.

#include "transfer/DownloadStatus.h"

#include <QApplication>
#include <QUrl>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_transfer URL FILE\n");
        return 2;
    }
    QWidget window;
    window.show();
    DownloadStatus status;
    int code = 1;
    status.loadFile(QUrl(QString::fromLocal8Bit(argv[1])),
                    QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2])), &window,
                    [&](const QVariant& result, const QUrl&) {
                        code = result.isValid() ? 0 : 1;
                        app.quit();
                    });
    app.exec();
    return code;
}
