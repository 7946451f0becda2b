#pragma once

// The SHA-1 of a body as it is written, where the file may already hold the first part of it
// from an earlier transfer. That part is read back on a worker while the rest arrives and is
// appended; the worker reads the appended bytes from the file too until it has caught up with
// the writer, and from then on the bytes are hashed as they are handed over. The main thread
// never reads the file and never waits: reading() tells when the worker is done.

#include "transfer/Sha1.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFuture>
#include <QString>

#include <memory>
#include <optional>

class AppendDigest
{
public:
    AppendDigest();
    ~AppendDigest();

    // Starts over with nothing hashed; a worker still reading is left to stop on its own.
    void reset();
    // Starts over with the `kept` bytes the file at path holds now; appended bytes follow them.
    void resumeFile(const QString& path, qint64 kept);
    // Bytes just received, and already appended to the file when there is one.
    void add(QByteArrayView bytes);
    // Whether the worker still reads the file; the result waits for it.
    bool isReading() const;
    QFuture<void> reading() const { return m_worker; }
    // The 20 bytes once every byte is hashed; none while reading, or when the kept part could
    // not be read. It ends the digest.
    std::optional<QByteArray> result();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    QFuture<void> m_worker;
};
