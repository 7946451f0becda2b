#pragma once

// Level pictures for the details pane. A picture is fetched once, with the rules of every other
// transfer, into the cache folder under the SHA-1 of its address, and decoded and scaled on a
// worker thread. One picture is wanted at a time: asking for another drops the one under way.
// A picture that cannot be had (a failed or oversized transfer, a file that is no image) is
// not asked for again until the launcher starts anew, and nobody is told: a level without its
// picture is still the level.

#include "transfer/Transfer.h"

#include <QImage>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QString>
#include <QUrl>

class LevelPictures : public QObject
{
    Q_OBJECT
public:
    // Larger answers are taken for something other than a picture and given up on.
    static constexpr qint64 maximumBytes = 4 << 20;

    explicit LevelPictures(QObject* parent = nullptr);

    // $XDG_CACHE_HOME/org.quillmor.Launcher/thumbnails, and the file a picture is kept in.
    static QString cacheFolder();
    static QString cachePath(const QUrl& url);

    // The picture at url, fitted into bounds (in pixels), comes as pictureReady(); a null
    // image there says there is none. Whatever was asked before is dropped.
    void request(const QUrl& url, const QSize& bounds);
    // Drops what was asked; nothing more arrives for it.
    void cancel();

signals:
    void pictureReady(const QUrl& url, const QImage& picture);

private:
    void transferFinished();
    void decode();
    void fail(const QUrl& url);

    QNetworkAccessManager m_network;
    Transfer m_transfer;
    QUrl m_wanted;
    QSize m_bounds;
    // The answer was larger than a picture may be.
    bool m_oversized = false;
    // Addresses given up on for this session, as their absolute strings.
    QSet<QString> m_failed;
};
