#pragma once

// One launcher a home, and a second start that hands its work to the first. The launcher that
// holds the lock file in the home's application folder offers itself on the session bus as
// org.quillmor.Launcher, object /org/quillmor/Launcher, with the org.freedesktop.Application
// interface desktops use to open files and links in a running program (Activate, Open,
// ActivateAction). A later start finds the lock taken, hands its URLs over (Open, or Activate
// to bring the window forward) and ends; the lock keeps the home, the name only carries the
// hand-over. Two launchers of different homes may share a bus: a start never hands its URLs
// to a launcher of another home.

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class InstanceLock;

class InstanceBus : public QObject
{
    Q_OBJECT
public:
    static const QString serviceName;
    static const QString objectPath;

    enum class Claim
    {
        Primary,    // this process keeps the home; `lock` holds it where a lock could be made
        HandedOver, // the launcher that keeps the home took the URLs
        Refused,    // another launcher keeps the home and could not be reached
    };
    // Takes the lock at lockPath, else hands the URLs to the launcher of `home` that holds it.
    // A launcher still starting up, or one ending, is asked again for a few seconds: the lock
    // goes to whichever start is first, and a start that finds the lock's holder gone takes
    // it over. Needs no window; uses a bus connection of its own and closes it again.
    static Claim claim(const QString& lockPath, const QString& home, const QList<QUrl>& urls,
                       std::unique_ptr<InstanceLock>& lock);

    // Offers this launcher of `home` on the session bus; does without where there is no bus,
    // or a launcher of another home has the name.
    explicit InstanceBus(const QString& home, QObject* parent = nullptr);
    ~InstanceBus() override;
    bool isRegistered() const { return m_registered; }

    // The launcher is ending: the name goes, and what is handed over from now on is refused,
    // so that the start sending it tries again and keeps the home itself.
    void withdraw();

signals:
    void openRequested(const QList<QUrl>& urls);
    void activateRequested();

private:
    QObject* m_object = nullptr;
    bool m_registered = false;
};
