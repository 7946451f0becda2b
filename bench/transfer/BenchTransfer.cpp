// Fetches one URL into a file the way the install flow does, behind the progress sheet on a
// window, and exits 0 when the completion reports the file. Given a byte count, it stops the
// transfer once that many bytes arrived instead, as a cancelled download does, leaving the
// part for the next run to resume.

#include "transfer/DownloadStatus.h"
#include "transfer/Transfer.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QUrl>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_transfer URL FILE [STOP-AFTER-BYTES]\n");
        return 2;
    }
    const QUrl url(QString::fromLocal8Bit(argv[1]));
    const QString file = QString::fromLocal8Bit(argv[2]);
    if (argc == 4) {
        QNetworkAccessManager manager;
        Transfer transfer(&manager);
        transfer.setResumable(true);
        const qint64 stop = QByteArray(argv[3]).toLongLong();
        QObject::connect(&transfer, &Transfer::progress, &transfer, [&](qint64 received) {
            if (received >= stop)
                transfer.cancel();
        });
        QObject::connect(&transfer, &Transfer::finished, &app, &QApplication::quit);
        transfer.start(url, file);
        app.exec();
        return transfer.outcome() == Transfer::Outcome::Cancelled ? 0 : 1;
    }
    QWidget window;
    window.show();
    DownloadStatus status;
    int code = 1;
    status.loadFile(url, QUrl::fromLocalFile(file), &window,
                    [&](const QVariant& result, const QUrl&) {
                        code = result.isValid() ? 0 : 1;
                        app.quit();
                    });
    app.exec();
    return code;
}
