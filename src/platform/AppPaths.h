#pragma once

#include <QString>

// Where the program keeps its own files.
namespace AppPaths {

// The program folder: the executable's folder when it is writable and the
// program was not installed there, else ~/.local/share/Varnelle. Ends without "/".
QString programFolder();
// The program folder for an executable in exeDir. An installed program (its
// desktop entry stands in the share/applications folder of the same prefix)
// never writes beside itself: those files belong to the package, and files it
// left there would outlive the package's removal.
QString programFolderFor(const QString& exeDir);

// The name the desktop entry is installed under.
inline constexpr char DesktopEntryName[] = "io.varnelle.Varnelle.desktop";

// The default save folder: the user's download folder + "/Varnelle/".
QString defaultSaveFolder();

// The folder of the per-user settings file (registry.ini lives beside it).
QString settingsFolder();

// Expands a leading "~/" to the home folder.
QString expandHome(const QString& path);

} // namespace AppPaths
