#pragma once

// Long work with one lifecycle: a job is started, may report progress, may be asked to stop,
// and ends exactly once with an Outcome. The end is delivered from the event loop, never from
// inside the call that caused it, so a receiver that starts the next job (or deletes this
// one) never runs inside the previous job's own code.

#include <QMetaType>
#include <QObject>
#include <QString>

// How a job ended: done, failed with a reason the player can read, or called off.
struct Outcome
{
    enum Kind
    {
        Succeeded,
        Failed,
        Cancelled,
    };
    Kind kind = Succeeded;
    QString reason; // translated; for Failed
    // The player has been told the reason already, where they were looking at the time.
    bool told = false;

    static Outcome success() { return {Succeeded, {}}; }
    static Outcome failure(const QString& reason, bool told = false)
    {
        return {Failed, reason, told};
    }
    static Outcome cancelled() { return {Cancelled, {}}; }
    bool succeeded() const { return kind == Succeeded; }
};
Q_DECLARE_METATYPE(Outcome)

class Job : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void start() = 0;
    // Asks the job to stop; it still ends through finished(), as Cancelled or, when it was
    // past the point where it could stop, as it would have ended anyway.
    virtual void cancel() = 0;
    bool isRunning() const { return m_running; }

signals:
    // Work under way that a progress sheet may show; total is 0 while unknown.
    void progress(qint64 done, qint64 total, const QString& text);
    // The job waits for something that shows itself (a question, a transfer with its own
    // sheet): a progress sheet steps aside.
    void waiting();
    void finished(const Outcome& outcome);

protected:
    // A job may be started again once it has finished.
    void setRunning() { m_running = true, m_finished = false; }
    // Ends this run of the job once; later calls are ignored.
    void finish(const Outcome& outcome);

private:
    bool m_running = false;
    bool m_finished = false;
};
