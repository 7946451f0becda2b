#pragma once

// Desktop services that involve other programs: opening a web page and showing a file in
// the user's file browser.

#include <QString>
#include <QUrl>

#include <functional>

namespace Desktop {

// An http or https address with a host: the only kind a level's feed may have opened.
bool isWebAddress(const QUrl& url);
// Opens a web address in the user's browser. Anything else opens nothing: an address from a
// feed could otherwise start any program the desktop ties to a scheme, or open a local file.
// False when nothing opened.
bool openUrl(const QUrl& url);
// Asks the file browser to show the item selected; without one on the session bus the
// folder that holds it is opened instead, and where nothing opens that either, failed is
// called with the folder. Returns at once; the answer comes later.
void showInFileBrowser(const QString& path, std::function<void(const QUrl& folder)> failed);

} // namespace Desktop
