#pragma once

// What a store (the catalogue, the preferences) tells the player when its file cannot be read
// or written: a short message and the detail, handed to whoever shows them. A store is read
// before there is a window to show anything on, so what is reported before a handler is set
// waits for it.

#include <QList>
#include <QString>

#include <functional>
#include <utility>

class FailureReports
{
public:
    using Handler = std::function<void(const QString& message, const QString& detail)>;

    void setHandler(Handler handler)
    {
        m_handler = std::move(handler);
        if (!m_handler)
            return;
        for (const auto& [message, detail] : std::exchange(m_pending, {}))
            m_handler(message, detail);
    }

    void report(const QString& message, const QString& detail)
    {
        if (m_handler)
            m_handler(message, detail);
        else
            m_pending.append({message, detail});
    }

    // What waits for a handler is about a file read again since: it would mislead.
    void discardPending() { m_pending.clear(); }

private:
    Handler m_handler;
    QList<std::pair<QString, QString>> m_pending;
};
