#pragma once

// Desktop services that involve other programs: opening a web page and showing a file in
// the user's file browser.

#include <QString>
#include <QUrl>

namespace Desktop {

bool openUrl(const QUrl& url);
// Asks the file browser to show the item selected; without one on the session bus the
// folder that holds it is opened instead. Returns at once; the answer comes later.
void showInFileBrowser(const QString& path);

} // namespace Desktop
