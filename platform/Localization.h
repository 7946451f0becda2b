#pragma once

// The application's strings table: the English text is the key and shows wherever no
// translation is installed.

#include <QString>

QString localizedString(const char* english);
