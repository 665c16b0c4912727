#pragma once

#include "tools/CopyTool.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

// The copy dialog: copies a list of files into one folder, with a rule for a
// name that is taken there. Shown modally; the caller fills CopyFileList and
// sets the caption first.
//
// The rule buttons are the control array Option1(1..5); their objectNames are
// "Option1_1" to "Option1_5".
class Form_Copy_Move : public QDialog, public CopyFileDialog {
    Q_OBJECT
public:
    explicit Form_Copy_Move(QWidget* parent = nullptr, const QString& listFile = {});
    ~Form_Copy_Move() override;

    // The sources, in order.
    QList<CopySource> CopyFileList;
    // Only copying is offered.
    bool MoveMode = false;

    void setCopyFiles(const QList<CopySource>& files) override { CopyFileList = files; }

    // One run; the start button calls it with true. While a run is active a
    // call stops it.
    void 执行(bool showMessage);

    bool running() const { return m_running; }
    QString destinationFolder() const { return m_destination; }
    int ruleIndex() const { return m_ruleIndex; }

    QComboBox* Combo1;
    QPushButton* Command3; // "浏览"
    QPushButton* Command1; // "开始" / "停止"
    QPushButton* Command2; // "关闭"
    QProgressBar* ProgressBar1;
    QLabel* Label1;
    QLabel* Label4;
    QLabel* Label3; // the file being copied
    QLabel* Label2;
    QGroupBox* Frame1;
    std::array<QRadioButton*, 6> Option1{}; // index 1..5

public slots:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void browse();
    bool keepGoing();
    // failed: the files of the run that could not be copied.
    void finishRun(bool showMessage, int failed);

    QString m_listFile;
    QString m_destination;
    int m_ruleIndex = 4;
    bool m_running = false;
    bool m_closeWhenStopped = false;
};
