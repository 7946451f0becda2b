#include "transfer/AppendDigest.h"

#include <QFile>
#include <QMutex>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

// The worker owns the digest until it has caught up; from then on the main thread does. The
// hand-over happens under the mutex, in the same step that stops counting bytes on disk.
struct AppendDigest::Shared
{
    QMutex mutex;
    qint64 onDisk = 0;    // bytes in the file the worker is to read
    bool caughtUp = true; // the worker is done: bytes are hashed as they are added
    bool failed = false;  // the file could not be read back
    std::atomic<bool> abandoned = false;
    Sha1 sha1;
};

namespace {

constexpr qint64 kReadBlock = 1 << 20;

} // namespace

AppendDigest::AppendDigest()
{
    reset();
}

AppendDigest::~AppendDigest()
{
    m_shared->abandoned = true;
}

void AppendDigest::reset()
{
    if (m_shared)
        m_shared->abandoned = true;
    m_shared = std::make_shared<Shared>();
    m_worker = QFuture<void>();
}

void AppendDigest::resumeFile(const QString& path, qint64 kept)
{
    reset();
    m_shared->onDisk = kept;
    m_shared->caughtUp = false;
    m_worker = QtConcurrent::run([shared = m_shared, path] {
        QFile file(path);
        const bool opened = file.open(QIODevice::ReadOnly);
        QByteArray block(kReadBlock, Qt::Uninitialized);
        qint64 done = 0;
        while (!shared->abandoned) {
            qint64 want = 0;
            {
                const QMutexLocker lock(&shared->mutex);
                want = qMin(shared->onDisk - done, kReadBlock);
                if (want == 0 || !opened) {
                    shared->failed = !opened;
                    shared->caughtUp = true;
                    return;
                }
            }
            const qint64 got = file.read(block.data(), want);
            if (got <= 0) {
                const QMutexLocker lock(&shared->mutex);
                shared->failed = shared->caughtUp = true;
                return;
            }
            shared->sha1.addData(QByteArrayView(block.constData(), got));
            done += got;
        }
    });
}

void AppendDigest::add(QByteArrayView bytes)
{
    {
        const QMutexLocker lock(&m_shared->mutex);
        if (!m_shared->caughtUp) {
            m_shared->onDisk += bytes.size();
            return;
        }
    }
    m_shared->sha1.addData(bytes);
}

bool AppendDigest::isReading() const
{
    const QMutexLocker lock(&m_shared->mutex);
    return !m_shared->caughtUp;
}

std::optional<QByteArray> AppendDigest::result()
{
    const QMutexLocker lock(&m_shared->mutex);
    if (!m_shared->caughtUp || m_shared->failed)
        return std::nullopt;
    return m_shared->sha1.result();
}
