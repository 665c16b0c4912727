#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The system-information programs looked for, in this order.
QStringList SysInfoProgramNames();
// The first of them found on the PATH; empty when none is.
QString FindSysInfoProgram();

// The About window: the program's name and version, the system line, a copy
// of that line, and the system-information program. Closing it lets the
// start-up window check for a newer version once more.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Starts the system-information program, or says it is not available.
    void StartSysInfo();

    QLabel* Image1;
    QLabel* lsoftname;
    QLabel* lblVersion;
    QPlainTextEdit* Text1;
    QPushButton* Command1;   // "复制信息"
    QPushButton* cmdOK;      // "确定"
    QPushButton* cmdSysInfo; // "系统信息(&S)..."

    void done(int result) override;

private:
    void load();
    void copyInformation();
};
