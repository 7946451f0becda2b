#include "platform/Localization.h"

#include <QCoreApplication>

QString localizedString(const char* english)
{
    return QCoreApplication::translate("Quillmor", english);
}
