#pragma once

// Writes real zip archives for tests through minizip's writer. Names are raw bytes, taken as
// given, so a test can state hostile names (absolute, "..", not UTF-8) as plainly as good ones.

#include <QByteArray>
#include <QList>
#include <QString>

#include <tuple>

class ZipBuilder
{
public:
    enum Method
    {
        Deflated,
        Stored
    };

    // Adds a file entry; entries are written in the order they were added.
    ZipBuilder& add(const QByteArray& name, const QByteArray& data, Method method = Deflated);
    // Adds a folder entry ("maps/"), as archivers record folders.
    ZipBuilder& addFolder(const QByteArray& name);
    // Writes the archive, replacing any file at the path. False when minizip refuses.
    bool write(const QString& path) const;
    // The archive as bytes, empty when minizip refuses.
    QByteArray bytes() const;

private:
    QList<std::tuple<QByteArray, QByteArray, Method>> m_entries; // name, data, method
};
