#pragma once

// Acts on what the launcher is asked to open from outside its window: its command line, a
// second start handing over, a drop, a level link from a web page. The window comes forward,
// and each request waits until nothing holds the window (a sheet, an install, a transfer, the
// game). A link never acts by itself: a sheet names what would be fetched and from which
// host, with Cancel as its default, and a link that names a feed offers to add the feed too,
// which is then read before the level is installed. Archives that arrive together are
// installed one after another behind one progress sheet, with one summary for more than one.
// An archive address that a catalogue entry lists installs that entry; any other archive
// becomes a level of this computer.

#include "launcher/OpenTarget.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <optional>

class FeedRefreshJob;
class Launcher;

class LevelLinks : public QObject
{
    Q_OBJECT
public:
    // The launcher has woken: its catalogue, feeds, download controller and installs are
    // there.
    explicit LevelLinks(Launcher* launcher, QObject* parent = nullptr);

public slots:
    void open(const QList<QUrl>& urls);
    // Brings the window to the front.
    void activate();

private:
    bool windowBusy() const;
    void next();
    void ask(const OpenTarget& link);
    void refuse(const OpenTarget& target);
    // Adds the feed to the feed list and reads it; `then` waits for it.
    void addFeed(const QUrl& feed, const std::optional<OpenTarget>& then);
    void install(const QList<OpenTarget>& archives);

    Launcher* m_launcher;
    QList<OpenTarget> m_pending;
    std::optional<OpenTarget> m_afterFeed;
    QTimer m_wait;
    FeedRefreshJob* m_feeds = nullptr;
};
