#pragma once

// The source list: every level feed the launcher reads, kept in the user defaults under
// "source". Feed parsers merge what they learn about a feed into it, the level table asks it
// for a feed's display name, and the preferences sheet shows and edits it as a table.

#include "platform/SortDescriptor.h"
#include "sources/RepositoryEntry.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <optional>

class Repositories
{
public:
    Repositories();

    // Loads the list once; later calls keep what is in memory.
    void firstLoad();
    void load();
    void save() const;

    // The name of the first source whose URL equals the one urlString names, else urlString.
    QString getNameForURL(const QString& urlString);
    // Folds a parsed feed's record into the list: a known source is updated, a new one added.
    void updateEntry(const RepositoryEntry& record);

    qsizetype count() const { return m_data.size(); }
    // The index of the source with this feed URL, none when no source has it.
    std::optional<qsizetype> indexOfSource(const QUrl& url) const;
    RepositoryEntry objectAtIndex(qsizetype index) const { return m_data.at(index); }
    // Replaces the record at the index with a changed copy that keeps its feed URL.
    void replaceObjectAtIndex(qsizetype index, const RepositoryEntry& record);
    void removeObjectAtIndex(qsizetype index);
    void sortUsingDescriptors(const QList<SortDescriptor>& descriptors);

    int numberOfRowsInTableView() const { return int(m_data.size()); }
    QVariant objectValueForTableColumn(const QString& columnIdentifier, int row) const;

private:
    bool m_firstLoad = true;
    QList<RepositoryEntry> m_data;
    // Built on the first lookup, dropped whenever a name or URL may have changed.
    std::optional<QHash<QString, QString>> m_urlLookup;
};
