#pragma once

// Levels installed one after another as one piece of work: archives on this computer, levels
// of the catalogue, and archives on the web that no catalogue entry lists, which are
// downloaded into the download folder first and then installed as levels of this computer.
// Each install asks its questions of the window; a level that fails is noted and the next one
// follows; a cancel stops the run with the level in hand left as it was. The next install
// starts only once the previous one has ended, from the event loop.

#include "catalogue/LevelEntry.h"
#include "flows/InstallJob.h"
#include "flows/Job.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <optional>

class Database;
class Questions;

class InstallQueueJob : public Job
{
    Q_OBJECT
public:
    struct Item
    {
        std::optional<LevelIdentity> level; // a level of the catalogue, else:
        QUrl archive;                       // a file: URL, or an http or https address
    };
    struct Summary
    {
        int total = 0;
        int installed = 0;
        QStringList failures; // "name: reason", one a level
        bool cancelled = false;
        // The last level's name, outcome and folder: all there is to tell of a run of one.
        QString lastName;
        Outcome lastOutcome;
        QUrl lastFolder;
    };

    InstallQueueJob(Database* database, Questions* questions, InstallJob::FetchFile fetch,
                    const QList<Item>& items, QObject* parent = nullptr);

    void start() override;
    void cancel() override;
    const Summary& summary() const { return m_summary; }

signals:
    // The run takes up its next level, the number-th of the total: its download, or its
    // install straight away.
    void itemStarted(const QString& name, int number);
    void installStarted(InstallJob* install);

private:
    void next();
    void download(const QUrl& source);
    void run(InstallJob* install, const QString& name);
    void ended(const QString& name, const Outcome& outcome, const QUrl& folder = {});

    Database* m_database;
    Questions* m_questions;
    InstallJob::FetchFile m_fetch;
    QList<Item> m_queue;
    QPointer<InstallJob> m_current;
    bool m_downloading = false;
    // Tells the download awaited from one given up on.
    quint64 m_waitNumber = 0;
    Summary m_summary;
};
