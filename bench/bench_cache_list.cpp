// Listing a browser cache of many entries (default 20,000) in the cache
// viewer: entry files are written in the browser's own format, then read by
// the cache layer alone and by the viewer's "查看我的缓存" with the window
// shown. The longest stretch without a pass of the event loop tells how long
// the window stood still.

#include "CacheEntryFiles.h"
#include "TestApp.h"
#include "platform/BrowserCache.h"
#include "tools/CacheListModel.h"
#include "tools/fIEcache.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TestApp t;
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20000;
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Cache_Data");
    QDir().mkpath(folder);
    QElapsedTimer timer;
    timer.start();
    QRandomGenerator random(7);
    const QByteArray body(16384, 'x');
    for (int i = 0; i < count; ++i) {
        const int size = 512 + int(random.bounded(15000));
        const QString ext = i % 3 == 0 ? QStringLiteral("pdf") : QStringLiteral("html");
        WriteCacheEntryFile(folder,
                            QStringLiteral("https://www.example.org/article/%1/page.%2?x=%3")
                                .arg(i)
                                .arg(ext)
                                .arg(i * 7),
                            body.left(size));
    }
    out << count << " entry files written in " << timer.elapsed() << " ms\n";

    timer.restart();
    const QList<BrowserCacheEntry> entries = BrowserCache(folder).entries();
    out << "cache layer read " << entries.size() << " entries in " << timer.elapsed() << " ms\n";

    fIEcache viewer(nullptr, dir.path(), folder);
    viewer.show();
    QApplication::processEvents();
    // Measures the gaps between passes of the event loop during the listing.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
    tick.start();
    sinceTick.start();
    timer.restart();
    viewer.Command1_Click();
    const qint64 listing = timer.elapsed();
    longestGap = qMax(longestGap, sinceTick.elapsed());
    out << "viewer listed " << viewer.model()->rowCount() << " rows in " << listing
        << " ms (window shown); longest time without events " << longestGap << " ms\n";
    out << "count line: " << viewer.Label1->text() << "\n";

    timer.restart();
    QHeaderView* header = viewer.ListView1->header();
    emit header->sectionClicked(2);
    out << "sort by size: " << timer.elapsed() << " ms\n";
    return 0;
}
