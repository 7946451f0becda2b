#include "preferences/Preferences.h"

#include "catalogue/Database.h"
#include "preferences/PreferencesPanel.h"
#include "sources/Repositories.h"
#include "transfer/DownloadStatus.h"

Preferences::Preferences(QObject* parent) : QObject(parent) {}

void Preferences::awakeFromNib()
{
    // The source list first: the catalogue names feeds by it.
    m_repositories->firstLoad();
    m_database->firstLoad();
}
