#pragma once

// Keeps a second copy of a program off the files the first one owns: an exclusive lock on a
// file, held from construction for as long as the object lives. The system drops it when the
// process ends, however it ends, so a copy that crashed never keeps the next one out.

#include <QString>

class InstanceLock
{
public:
    explicit InstanceLock(const QString& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another holder has the lock, or the file could not be opened or locked.
    bool isHeld() const { return m_held; }
    // Another holder has it, as opposed to a file that could not be used at all.
    bool isHeldElsewhere() const { return m_elsewhere; }
    // Why the lock is not held, translated; empty when it is.
    QString errorString() const { return m_error; }

private:
    int m_fd = -1;
    bool m_held = false;
    bool m_elsewhere = false;
    QString m_error;
};
