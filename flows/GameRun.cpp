#include "flows/GameRun.h"

#include "platform/Localization.h"

#include <QDir>

GameRun::GameRun(const QString& program, const QStringList& arguments, QObject* parent)
    : Job(parent), m_program(program), m_arguments(arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
    connect(&m_process, &QProcess::started, this, &GameRun::started);
    connect(&m_process, &QProcess::finished, this, [this] { finish(Outcome::success()); });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(Outcome::failure(
                localizedString(QT_TRANSLATE_NOOP("Quillmor", "The program %1 did not start (%2)."))
                    .arg(QDir::toNativeSeparators(m_program), m_process.errorString())));
    });
}

void GameRun::start()
{
    setRunning();
    m_process.start(m_program, m_arguments);
}
