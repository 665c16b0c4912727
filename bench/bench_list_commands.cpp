// The download window's list commands over 10,000 rows, window shown
// (offscreen): random order, sorting by "文件大小", clearing the finished rows,
// each re-download command, and the other commands that walk every row. Each
// figure includes the event processing (layout, paint) that follows it.
#include "TestApp.h"
#include "download/fFileDownload.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <functional>

namespace {
constexpr int Rows = 10000;

void report(const char* what, double ms) {
    std::printf("%-58s %10.3f ms %s\n", what, ms, ms < 500 ? "" : "(over 500 ms)");
}

double timed(const std::function<void()>& command) {
    QElapsedTimer timer;
    timer.start();
    command();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
}

// 10,000 rows in a mix of states, types and sizes, as a long run leaves them.
void fill(fFileDownload& w, const QString& folder) {
    w.list()->clear();
    DownloadListModel* list = w.list();
    for (int i = 0; i < Rows; ++i) {
        const QString pii = QStringLiteral("S%1").arg(i, 12, 10, QLatin1Char('0'));
        w.AddDownloadItem(QStringLiteral("https://www.example.org/pii/%1/pdfft|https://mirror."
                                         "example.org/pii/%1/pdfft|https://third.example.org/%1")
                              .arg(pii),
                          QStringLiteral("A study of 第%1 things in a long article title").arg(i),
                          i % 11 == 0 ? QStringLiteral("html") : QStringLiteral("pdf"), folder,
                          QStringLiteral("https://www.example.org/search?page=%1").arg(i / 25));
        const QString size = QString::number((i * 7919) % 5000000);
        if (i % 7 == 0) {
            list->setState(i, ItemState::Failed);
        } else if (i % 3 == 0 || i % 11 == 0) {
            list->setState(i, ItemState::Finished);
            list->setProgress(i, size, size, QStringLiteral("100%"));
        } else if (i % 5 == 0) {
            list->setProgress(i, QStringLiteral("未知"), QString(), QStringLiteral("大文件，跳过"));
            list->setState(i, ItemState::Finished);
        }
    }
    QCoreApplication::processEvents();
}
} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TestApp t;
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');

    auto* w = new fFileDownload;
    w->setWindowState(Qt::WindowNoState);
    w->resize(1400, 900);
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        std::printf("window not exposed; figures are without painting\n");
    w->Timer1->stop();

    fill(*w, folder);
    report("random order (随机排序列表)", timed([&] { w->ShuffleRows(); }));
    report("sort by 文件大小, ascending",
           timed([&] { w->SortByColumn(DownloadListModel::ColSize); }));
    report("sort by 文件大小, descending",
           timed([&] { w->SortByColumn(DownloadListModel::ColSize); }));
    report("sort by 百分比", timed([&] { w->SortByColumn(DownloadListModel::ColPercent); }));
    report("sort by 名称", timed([&] { w->SortByColumn(DownloadListModel::ColName); }));
    report("clear finished rows (清除 > 完成项)",
           timed([&] { w->ClearRows(ClearRule::Finished); }));
    std::printf("  %d rows left\n", w->list()->count());

    struct Command {
        const char* what;
        std::function<void()> run;
    };
    const QList<Command> redownloads = {
        {"re-download 选中项 (all selected)",
         [&] {
             w->SelectAllRows();
             w->RedownloadRows(RedownloadRule::Selected);
         }},
        {"re-download 出错项", [&] { w->menu重新下载出错项->trigger(); }},
        {"re-download 网页类型文件(HTM/HTML/xml)项",
         [&] { w->menu重新下载文件类型为HTM和HTML项->trigger(); }},
        {"re-download 出错项和网页类型文件项",
         [&] { w->RedownloadRows(RedownloadRule::FailedOrWebPages); }},
        {"re-download 文件大小小于指定数字的项 (4000000)",
         [&] {
             t.dialogs->inputAnswers.push_back(QStringLiteral("4000000"));
             w->RedownloadSmallerThanAnswer();
         }},
    };
    for (const Command& c : redownloads) {
        fill(*w, folder);
        const int waitingBefore = w->list()->countInState(ItemState::Waiting);
        report(c.what, timed(c.run));
        std::printf("  %d rows put back\n",
                    w->list()->countInState(ItemState::Waiting) - waitingBefore);
    }

    fill(*w, folder);
    report("delete files of failed rows (删除文件 > 出错项)",
           timed([&] { w->DeleteRowFiles(DeleteFileRule::Failed); }));
    report("check that files exist (检查文件是否存在)", timed([&] { w->CheckFilesExist(); }));
    fill(*w, folder);
    report("clear failed rows (清除 > 全部出错项)",
           timed([&] { w->ClearRows(ClearRule::Failed); }));
    fill(*w, folder);
    report("replace a host in every address (ReplaceInAddresses)",
           timed([&] { ReplaceInAddresses(*w->list(), QStringLiteral("MIRROR."), QString()); }));
    t.dialogs->fileAnswers.push_back(dir.path() + QStringLiteral("/names.txt"));
    report("export all names (导出名称 > 全部)", timed([&] { w->ExportNames(false); }));
    report("fit columns (自动调整列宽)", timed([&] { w->FitColumns(); }));

    delete w;
    return 0;
}
