#pragma once

#include <QString>

// Where the program keeps its own files.
namespace AppPaths {

// The program folder: the executable's folder when it
// is writable, else ~/.local/share/Varnelle. Ends without "/".
QString programFolder();

// The default save folder: the user's download folder + "/Varnelle/".
QString defaultSaveFolder();

// The folder of the per-user settings file (registry.ini lives beside it).
QString settingsFolder();

// Expands a leading "~/" to the home folder.
QString expandHome(const QString& path);

} // namespace AppPaths
