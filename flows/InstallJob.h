#pragma once

// One level installed: downloaded from its feed (or read from an archive on this computer),
// hashed, given a folder (asking when something else holds it), unpacked into a staging folder
// and checked, swapped into place and recorded in the catalogue. Nothing on disk or in the
// catalogue changes until the level is known good. A feed's level is carried by its identity
// from start to end: a refresh may replace its entry meanwhile, and another feed may list the
// same archive. The download goes through the function the job is given, so a window can put
// its progress sheet and error alerts in between.

#include "catalogue/LevelEntry.h"
#include "flows/Job.h"
#include "flows/Questions.h"

#include <QByteArray>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <optional>

class Database;
class QFutureWatcherBase;
struct StagedLevel;

class InstallJob : public Job
{
    Q_OBJECT
public:
    enum class Step
    {
        Idle,
        Downloading,
        Hashing,
        ChoosingFolder,
        Asking,
        Staging,
        Recording,
        Done,
    };
    // What a download left: the file, the SHA-1 of its bytes when the transfer computed it,
    // and how it ended (a failure the transfer has told the player about is marked told).
    struct Fetched
    {
        Outcome outcome;
        std::optional<QByteArray> digest;
    };
    using FetchFile = std::function<void(const QUrl& source, const QUrl& file,
                                         std::function<void(const Fetched&)> done)>;

    // A level of the catalogue, downloaded from its archive address.
    InstallJob(Database* database, Questions* questions, FetchFile fetch,
               const LevelIdentity& level, QObject* parent = nullptr);
    // A level archive on this computer, which stays where it is.
    InstallJob(Database* database, Questions* questions, const QUrl& archive,
               QObject* parent = nullptr);
    ~InstallJob() override;

    void start() override;
    void cancel() override;

    Step step() const { return m_step; }
    QString levelName() const;
    // Where the level went, once it is installed.
    QUrl installedFolder() const { return m_installedFolder; }

private:
    void setStep(Step step);
    void fail(const QString& reason, bool told = false);
    void downloaded(const QUrl& source, const QUrl& partial, const Fetched& fetched);
    void hash();
    void checkDigest();
    void chooseFolder();
    void stage(bool overwrite);
    void record(const StagedLevel& level, bool overwrite);

    Database* m_database;
    Questions* m_questions;
    FetchFile m_fetch;
    std::optional<LevelIdentity> m_level; // none for a local archive
    // The install record: the level's entry, with the archive ("urlZip"), its digest and the
    // folder as they become known.
    LevelEntry m_record;
    Step m_step = Step::Idle;
    QUrl m_installedFolder;
    QPointer<QFutureWatcherBase> m_work;
    // Tells the answer still awaited (a download, a question) from one given up on.
    quint64 m_waitNumber = 0;
};
