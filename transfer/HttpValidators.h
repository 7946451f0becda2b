#pragma once

// What a server says identifies one version of what it sent: its ETag and its Last-Modified
// date, each exactly as the server wrote it. Sent back, they let a server answer "unchanged"
// (304) instead of the whole body again, or send only the rest of a body we hold a part of.
// Header-only, so that the window-free jobs share it with the transfer without linking it.

#include <QString>

struct HttpValidators
{
    QString etag;         // quotes included, and the W/ of a weak one
    QString lastModified; // an HTTP date

    bool isEmpty() const { return etag.isEmpty() && lastModified.isEmpty(); }
    // What an If-Range may carry: a strong ETag, else the date; empty when neither will do.
    QString rangeValidator() const
    {
        return !etag.isEmpty() && !etag.startsWith(QStringLiteral("W/")) ? etag : lastModified;
    }
    friend bool operator==(const HttpValidators&, const HttpValidators&) = default;
};
