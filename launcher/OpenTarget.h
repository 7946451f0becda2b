#pragma once

// What the launcher is asked to open from outside its window (its command line, another start
// of it, a drop, a web page's link), read from the URL it comes as: a level archive on this
// computer (a file: URL), an http or https address of one, or a level link. A web page
// carries a link in one of two forms, the addresses in them percent-encoded:
//
//     quillmor://install?url=<archive address>[&feed=<feed address>]
//     quillmor://add-feed?url=<feed address>
//
// Whatever a link names is fetched over http or https only, never from this computer or by
// another program.

#include <QString>
#include <QUrl>

struct OpenTarget
{
    enum Kind
    {
        LocalArchive, // archive: a file: URL
        WebArchive,   // archive: an http or https address
        InstallLink,  // archive, and feed when the link names one
        FeedLink,     // feed
        Refused,      // problem says why
    };
    Kind kind = Refused;
    QUrl archive;
    QUrl feed;
    QString problem; // translated

    bool isLink() const { return kind == InstallLink || kind == FeedLink; }
    bool isArchive() const { return kind == LocalArchive || kind == WebArchive; }
    // The name of the file an address ends in, else its host.
    static QString fileName(const QUrl& url);
};

// The scheme of level links.
inline const QString kLevelLinkScheme = QStringLiteral("quillmor");

OpenTarget readOpenTarget(const QUrl& url);

// Whether a dragged URL is one the window takes: a zip file on this computer, an http or https
// address of a zip file, or a level link.
bool isDroppable(const QUrl& url);
