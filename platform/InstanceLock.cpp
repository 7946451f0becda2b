#include "platform/InstanceLock.h"

#include "platform/Localization.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString& path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_error = localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1 could not be opened: %2."))
                      .arg(QDir::toNativeSeparators(path), qt_error_string(errno));
        return;
    }
    // A lock of the open file, not of the process: another open of the same file conflicts
    // even within one process.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_held = true;
        return;
    }
    const int error = errno;
    m_elsewhere = error == EWOULDBLOCK;
    m_error = m_elsewhere
                  ? localizedString(
                        QT_TRANSLATE_NOOP("Quillmor", "Another copy of the launcher is running."))
                  : localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1 could not be locked: %2."))
                        .arg(QDir::toNativeSeparators(path), qt_error_string(error));
    ::close(m_fd);
    m_fd = -1;
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
