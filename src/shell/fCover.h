#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;
class uXMLHTTP;

// Returns "64" when the machine is 64-bit (also for a 32-bit build on a
// 64-bit kernel), else "32".
QString DetectOsBitness();

// The start-up window. It loads the program-wide values, then waits for the
// user to open the search window or to leave. Closing it ends the program.
class fCover : public QWidget {
    Q_OBJECT
public:
    // Steps that other subsystems add to the load and to the exit; main() wires
    // them before load() runs.
    struct Hooks {
        std::function<void()> afterBitness;       // sets OsDisplayName
        std::function<void()> readEmulation;      // sets BrowserEmulationVersion
        std::function<void()> updateNotice;       // Timer1's one-shot notice
        std::function<void()> exitEmulationWrite; // first step of the exit
        // Rows of the kept download list that are not finished (0: none).
        std::function<int()> unfinishedDownloads;
    };

    explicit fCover(QWidget* parent = nullptr);
    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // The load steps, in order; shows the window part-way so it paints early.
    void load();
    // "上次的下载没有完成（N条），要打开下载窗口继续吗？"
    static QString unfinishedQuestion(int rows);

    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Image1;
    QPushButton* Command1;
    QPushButton* Command3;
    QTimer* Timer1;
    uXMLHTTP* uXMLHTTP2; // asks for the newest version

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void openSearch();
    // When the last run left downloads unfinished, offers the download window.
    void offerUnfinishedDownloads();

    Hooks m_hooks;
};
