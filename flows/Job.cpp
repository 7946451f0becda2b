#include "flows/Job.h"

void Job::finish(const Outcome& outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    m_running = false;
    QMetaObject::invokeMethod(
        this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
}
