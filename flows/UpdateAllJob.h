#pragma once

// Every level with an update, installed one after another without a question: a level that
// fails is noted and the next one follows; a cancel stops the run with the level in hand left
// as it was. Each install is made by the function the job is given, so the window can give it
// its download; the next one starts only once the previous one has ended, from the event loop.

#include "catalogue/LevelEntry.h"
#include "flows/InstallJob.h"
#include "flows/Job.h"
#include "flows/Questions.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>

class Database;

class UpdateAllJob : public Job
{
    Q_OBJECT
public:
    using MakeInstall =
        std::function<InstallJob*(const LevelIdentity& level, Questions* questions)>;
    struct Summary
    {
        int total = 0;
        int started = 0;
        int updated = 0;
        QStringList failures; // "name: reason", one a level
        bool cancelled = false;
    };

    UpdateAllJob(Database* database, MakeInstall makeInstall, QObject* parent = nullptr);

    // Takes the levels that have an update now, in the catalogue's order.
    void start() override;
    void cancel() override;

    const Summary& summary() const { return m_summary; }
    InstallJob* current() const { return m_current; }

signals:
    // An install of the run is about to start, for the named level; the window shows its
    // progress as "n of total".
    void installStarted(InstallJob* install, const QString& name);

private:
    void next();

    Database* m_database;
    MakeInstall m_makeInstall;
    RefusingQuestions m_questions;
    QList<LevelIdentity> m_queue;
    QPointer<InstallJob> m_current;
    Summary m_summary;
};
