#pragma once

// A job's progress as a sheet on the window: the text says what is under way, the bar follows
// the job, and Cancel (or Escape) asks the job to stop. The sheet shows while the job works
// and steps aside while it waits for something that shows itself (a question, a transfer's
// own sheet) and once it has ended. One sheet serves one job after another.

#include <QObject>
#include <QPointer>
#include <QString>

class DownloadSheet;
class Job;
class QWidget;

class JobSheet : public QObject
{
    Q_OBJECT
public:
    explicit JobSheet(QWidget* window, QObject* parent = nullptr);

    // From now on the sheet shows this job, with this text.
    void bind(Job* job, const QString& text);
    DownloadSheet* sheet() const;

private:
    void show();

    QPointer<QWidget> m_window;
    QPointer<DownloadSheet> m_sheet;
    QPointer<Job> m_job;
    QString m_text;
};
