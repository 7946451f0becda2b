#pragma once

// One run of the game: starts the program with its arguments, says when it has started and
// ends when the game does. It waits without an event loop of its own, so the window goes on
// being served; whoever starts it decides what the window accepts meanwhile. The game shares
// the launcher's terminal, environment and working directory.

#include "flows/Job.h"

#include <QProcess>
#include <QStringList>

class GameRun : public Job
{
    Q_OBJECT
public:
    GameRun(const QString& program, const QStringList& arguments, QObject* parent = nullptr);

    void start() override;
    // The game is the player's: it ends when they leave it, not when the launcher asks.
    void cancel() override {}

signals:
    // The program is running: only now does the run count as a play.
    void started();

private:
    QProcess m_process;
    QString m_program;
    QStringList m_arguments;
};
