#pragma once

#include <QDialog>

class DownloadListModel;
class QLabel;
class QLineEdit;
class QPushButton;

// "网址批量替换": replaces a text in the address list and the referer of every
// row of the download list. Modal; keeps nothing between openings.
class UrlReplace : public QDialog {
    Q_OBJECT
public:
    explicit UrlReplace(DownloadListModel& list, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Text1; // the text to find
    QLabel* Label2;
    QLineEdit* Text2;      // the replacement
    QPushButton* Command1; // "替换"
    QPushButton* Command2; // "取消"

    // "替换": refuses an empty find text; otherwise replaces, closes and reports.
    void replaceAll();

private:
    DownloadListModel& m_list;
};
