#pragma once

// The pane under the level table that tells about the selected level: its name, author,
// description, feed, when it was installed and how much room its folder takes, its web page,
// and its picture when its feed gives one. It follows the table's selection and its reloads,
// reading the rows the table shows. What takes time (the folder's size, the picture) is worked
// out off the main thread and shown when it arrives, if the level is still the one shown.

#include "catalogue/LevelEntry.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

class LevelPictures;
class LevelTableModel;
class QImage;
class QLabel;
class QModelIndex;
class QTableView;

class LevelDetails : public QWidget
{
    Q_OBJECT
public:
    explicit LevelDetails(QWidget* parent = nullptr);

    // The table whose selected row is shown; its model is a LevelTableModel.
    void setTable(QTableView* table);

signals:
    // The web page link was followed, for the level at this index of the table's model.
    void websiteRequested(const QModelIndex& index);

private:
    void showSelected();
    void showLevel(const LevelEntry& entry);
    void showFolder(const QString& folder);
    void showPicture(const QUrl& url, const QImage& picture);

    QPointer<QTableView> m_table;
    LevelTableModel* m_model = nullptr;
    int m_row = -1;
    QLabel* m_picture;
    QLabel* m_placeholder;
    QLabel* m_name;
    QLabel* m_author;
    QLabel* m_description;
    QLabel* m_source;
    QLabel* m_installed;
    QLabel* m_website;
    LevelPictures* m_pictures;
    // What the pane shows or waits for: the picture's address and the level's folder.
    QUrl m_pictureUrl;
    QString m_folder;
};
