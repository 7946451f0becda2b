#include "launcher/Launcher.h"

void Launcher::installButton(QObject*) {}

void Launcher::updateButton(QObject*) {}

void Launcher::wwwButton(QObject*) {}
