#include "launcher/Launcher.h"

void Launcher::installButton(QObject* sender)
{
    downloadSelectedLevel(sender);
}

void Launcher::updateButton(QObject* sender)
{
    downloadSelectedLevel(sender);
}

void Launcher::wwwButton(QObject*) {}
