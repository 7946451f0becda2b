#include "launcher/LevelPictures.h"

#include "transfer/Sha1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageReader>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Runs on a worker. Large pictures are scaled while they are read, small ones kept as they are.
QImage readPicture(const QString& path, const QSize& bounds)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > bounds.width() || size.height() > bounds.height()))
        reader.setScaledSize(size.scaled(bounds, Qt::KeepAspectRatio).expandedTo({1, 1}));
    return reader.read();
}

QString key(const QUrl& url)
{
    return url.toString(QUrl::FullyEncoded);
}

} // namespace

LevelPictures::LevelPictures(QObject* parent) : QObject(parent), m_transfer(&m_network, this)
{
    connect(&m_transfer, &Transfer::finished, this, &LevelPictures::transferFinished);
    const auto tooLarge = [this](qint64 bytes) {
        if (bytes <= maximumBytes)
            return;
        m_oversized = true;
        m_transfer.cancel();
    };
    connect(&m_transfer, &Transfer::responseReceived, this,
            [this, tooLarge] { tooLarge(m_transfer.bytesTotal()); });
    connect(&m_transfer, &Transfer::progress, this, tooLarge);
}

QString LevelPictures::cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/org.quillmor.Launcher/thumbnails");
}

QString LevelPictures::cachePath(const QUrl& url)
{
    Sha1 digest;
    digest.addData(key(url).toUtf8());
    return cacheFolder() + u'/' + QString::fromLatin1(digest.result().value_or("").toHex());
}

void LevelPictures::request(const QUrl& url, const QSize& bounds)
{
    cancel();
    m_wanted = url;
    m_bounds = bounds;
    const bool web = url.isValid() && !url.host().isEmpty() &&
                     (url.scheme() == u"http" || url.scheme() == u"https");
    if (!web || m_failed.contains(key(url))) {
        emit pictureReady(url, {});
        return;
    }
    if (QFileInfo::exists(cachePath(url))) {
        decode();
        return;
    }
    QDir().mkpath(cacheFolder());
    m_oversized = false;
    m_transfer.start(url, cachePath(url) + QStringLiteral(".part"));
}

void LevelPictures::cancel()
{
    m_wanted = QUrl();
    m_transfer.cancel();
}

void LevelPictures::transferFinished()
{
    const QUrl url = m_transfer.url();
    const QString part = m_transfer.filePath();
    const QString path = cachePath(url);
    if (m_transfer.outcome() == Transfer::Outcome::Succeeded && QFileInfo::exists(part)) {
        QFile::remove(path);
        if (QFile::rename(part, path)) {
            if (url == m_wanted)
                decode();
            return;
        }
    }
    QFile::remove(part);
    // Dropped for another picture: this one may still be wanted later.
    if (m_transfer.outcome() == Transfer::Outcome::Cancelled && !m_oversized)
        return;
    fail(url);
}

void LevelPictures::decode()
{
    const QUrl url = m_wanted;
    const QString path = cachePath(url);
    auto* watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, url, path] {
        watcher->deleteLater();
        const QImage picture = watcher->result();
        if (picture.isNull()) {
            // Fetched again at the next start: the server may have mended it by then.
            QFile::remove(path);
            fail(url);
        } else if (url == m_wanted) {
            emit pictureReady(url, picture);
        }
    });
    watcher->setFuture(QtConcurrent::run(readPicture, path, m_bounds));
}

void LevelPictures::fail(const QUrl& url)
{
    m_failed.insert(key(url));
    if (url == m_wanted)
        emit pictureReady(url, {});
}
