#include "launcher/Launcher.h"

// Stub: the install flow is being written on its own branch; this keeps the level commands
// linking until it arrives.
void Launcher::downloadSelectedLevel(QObject*) {}
