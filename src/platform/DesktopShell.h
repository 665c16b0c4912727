#pragma once

#include <QString>
#include <QStringList>

// What the desktop does for the program's windows: open a file with the
// program the desktop associates with it, show a file selected in the file
// manager, open a text file in the desktop's text editor, and put text on the
// clipboard. The windows ask through this interface so that tests can record
// the requests where no desktop session runs.
class DesktopShell {
public:
    virtual ~DesktopShell() = default;

    // Opens the file or folder with its associated program; false when the
    // desktop could not hand it to any program.
    virtual bool openPath(const QString& path);
    // Opens the file manager on the file's folder with the file selected
    // (org.freedesktop.FileManager1.ShowItems); false when no file manager
    // answered.
    virtual bool showInFolder(const QString& path);
    // Opens the file in the application registered for text/plain; false when
    // none could be started.
    virtual bool openInTextEditor(const QString& path);
    // Replaces the clipboard's content with the text.
    virtual void setClipboardText(const QString& text);

    // --- building blocks, public for tests ---

    // The desktop file registered for a MIME type by the mimeapps.list files
    // of the XDG configuration and data folders, else the first entry of the
    // applications' mimeinfo.cache; empty when none.
    static QString defaultDesktopFile(const QString& mimeType);
    // The full path of a desktop file id in the XDG application folders.
    static QString findDesktopFile(const QString& desktopId);
    // The command line of a desktop file's Exec key, split into program and
    // arguments, with the file inserted for %f/%F/%u/%U (appended when the
    // line names no file) and the other field codes dropped.
    static QStringList execCommand(const QString& execLine, const QString& file);
    // The Exec value of a desktop file's [Desktop Entry] group.
    static QString readExecLine(const QString& desktopFilePath);
};
