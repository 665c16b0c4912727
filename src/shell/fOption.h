#pragma once

#include <QDialog>
#include <map>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class CaptionWithGap;

// The size limit as typed: any finite number of megabytes above 0, fractions
// included ("2.5"), blanks around it allowed; nothing otherwise.
std::optional<double> ParseSizeLimitMB(const QString& text);

// The robot-check wait as typed: whole minutes from 1 to 1440 (a day), blanks
// around them allowed; nothing otherwise.
std::optional<int> ParseRobotCheckWaitMinutes(const QString& text);

// The options dialog: download mode, proxy, size limit, how long a run waits
// for a robot check to be passed, the save-folder question and the browser
// engine version the embedded browser emulates.
// Every value is the program-wide one from the moment "确定" takes it; the
// download window follows a mode change at once through AppValues.
class fOption : public QDialog {
    Q_OBJECT
public:
    explicit fOption(QWidget* parent = nullptr);

    // The entries of the engine-version choice, by their index: 0 "IE7" to
    // 4 "IE11", 10 "默认".
    static constexpr int DefaultVersionIndex = 10;

    QLabel* Label1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QCheckBox* Check1;
    QLabel* Label14;
    QLineEdit* Text6;
    QLabel* Label15;
    QLineEdit* Text8;
    QLabel* Label10;
    QLabel* Label6;
    CaptionWithGap* Label2;
    QLineEdit* Text1;
    CaptionWithGap* Label3; // the robot-check wait, beside the size limit
    QLineEdit* Text2;
    QCheckBox* Check2;
    QGroupBox* Frame1;
    std::map<int, QRadioButton*> OptionIE;
    QLabel* Label9;
    QPushButton* Command1; // "确定"
    QPushButton* Command2; // "关闭"

private:
    void load();
    void confirm();
};
