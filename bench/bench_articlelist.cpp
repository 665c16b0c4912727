// Filling the search window's article list with a long result walk, and
// clearing part of it: how long the user interface is held.
#include "TestApp.h"
#include "platform/BrowserProfile.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QTemporaryDir storage;
    BrowserProfile::setStorageRoot(storage.path());
    TestApp t;
    t.values->SiteHomeAddress = QStringLiteral("about:blank");
    fWebSearch w;
    w.show();
    QCoreApplication::processEvents();

    const int rows = 5000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rows; ++i)
        w.加入LV1(QStringLiteral("Article title number %1 about something").arg(i),
                  QStringLiteral("https://site.test/pii/S%1.pdf").arg(i), "https://site.test/list",
                  "pdf", "/papers/", "SD1");
    w.updateCountLabel();
    QCoreApplication::processEvents();
    std::printf("add %d rows to the shown list: %lld ms\n", rows, qint64(timer.elapsed()));

    timer.restart();
    int refused = 0;
    for (int i = 0; i < rows; ++i)
        refused += w.加入LV1("again", QStringLiteral("https://site.test/pii/S%1.pdf").arg(i), "",
                             "pdf", "", "SD1")
                       ? 0
                       : 1;
    std::printf("offer %d duplicate rows (%d refused): %lld ms\n", rows, refused,
                qint64(timer.elapsed()));

    for (int i = 0; i < rows; i += 2)
        w.articles()->setState(i, ArticleState::DownloadSucceeded);
    timer.restart();
    w.removeSucceeded();
    QCoreApplication::processEvents();
    std::printf("remove every other row of %d: %lld ms, %d left\n", rows, qint64(timer.elapsed()),
                w.articles()->size());
    return 0;
}
