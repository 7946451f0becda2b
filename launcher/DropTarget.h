#pragma once

// The main window as a place to drop levels on: zip files from a file manager, http or https
// addresses of zip files and level links from a browser. While such a drag is over the window
// the level table says "Drop to install", and a drop hands everything it carries to the
// LevelLinks. A drag that carries anything else is not taken, so the pointer shows that it
// cannot be dropped; nothing is said.

#include <QList>
#include <QObject>
#include <QUrl>

class LevelLinks;
class QMimeData;
class QWidget;

class DropTarget : public QObject
{
    Q_OBJECT
public:
    // Drops on `window`, shown on `table`.
    DropTarget(QWidget* window, QWidget* table, LevelLinks* links);

    // What a drag carries, when the window takes all of it; else nothing.
    static QList<QUrl> droppable(const QMimeData* data);
    // The "Drop to install" indication over the table.
    QWidget* indication() const { return m_indication; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_table;
    LevelLinks* m_links;
    QWidget* m_indication;
};
