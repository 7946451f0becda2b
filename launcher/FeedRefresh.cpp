#include "launcher/Launcher.h"

void Launcher::checkFeeds() {}
