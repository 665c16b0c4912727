#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QComboBox;
class QIODevice;
class QLabel;
class QPushButton;
class QRadioButton;

// --- The recent-folder file (SaveList.dat), shared with the copy/move dialog ---

// The recent-folder file in the program folder.
QString SaveListFilePath();

// The longest line of a recent-folder file taken as a folder; longer lines
// are dropped (no folder path is that long).
inline constexpr qint64 FolderListMaxLineBytes = 4096;
// How much of a recent-folder file is read at most: far more than 100 folders
// need, so a damaged or hostile file never costs more than this.
inline constexpr qint64 FolderListMaxFileBytes = 1024 * 1024;

// The folders of a recent-folder file: lines trimmed, blank lines skipped, at
// most 100 non-blank lines read, later duplicates dropped. No value when the
// file does not exist; an empty list when it cannot be read. CR LF and LF line
// ends are both accepted.
std::optional<QStringList> ReadFolderList(const QString& filePath);
// The same rules on an open device. Lines longer than FolderListMaxLineBytes
// are skipped, and reading stops after FolderListMaxFileBytes (a line cut
// there is dropped), so the device is never read further than that.
QStringList ReadFolderList(QIODevice& device);

// Writes the folders, one per line ended by CR LF (UTF-8); an empty list is
// written as one empty line. The old file is replaced only when the new one is
// complete. False when it could not be written.
bool WriteFolderList(const QStringList& folders, const QString& filePath);

// Fills a combo box from the file; a missing file leaves the combo unchanged.
void LoadFolderList(QComboBox* combo, const QString& filePath);
// Writes the combo box's items to the file; failures are silent.
void SaveFolderList(const QComboBox* combo, const QString& filePath);

// The folder picker: returns the chosen folder with a trailing "/", or the
// start path (with a trailing "/") when nothing was chosen. includeFiles is
// accepted for the callers' sake; the picker shows folders only.
QString BrowseForFolder(QWidget* owner, const QString& start, const QString& prompt,
                        bool includeFiles);

// --- The save-folder dialog ---

// Asks where the extracted articles' files go and how they are named. Always
// modal; loaded anew each time. Afterwards the opener reads
// app().SaveFolderCancelled, app().CurrentSaveFolder and app().UseOriginalFileName.
class fSeleFileSavePath : public QDialog {
    Q_OBJECT
public:
    // listFile: the recent-folder file; empty means SaveListFilePath().
    explicit fSeleFileSavePath(QWidget* parent = nullptr, const QString& listFile = {});

    // Shows the dialog modally over owner; true when a folder was confirmed.
    static bool ask(QWidget* owner, const QString& listFile = {});

    QLabel* Label1;
    QComboBox* Combo1;
    QPushButton* Command1; // "..."
    QLabel* Label3;
    QRadioButton* Option1; // "原文件名"
    QRadioButton* Option2; // "文章标题名称"
    QRadioButton* Option3; // "按文章信息：" the pattern in Combo2
    QComboBox* Combo2;     // the naming pattern, record fields by name

    // The patterns offered in Combo2.
    static QStringList namePatternPresets();
    QPushButton* Command2; // "确定"
    QPushButton* Command3; // "取消"

    QString listFile() const { return m_listFile; }

private:
    void browse();
    void confirm();
    void cancel();

    QString m_listFile;
};
