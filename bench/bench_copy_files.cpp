// The copy dialog copying many files (default 1,000 of 64 KB) into an empty
// folder, then again over the same names with the size-and-time rule
// (overwrite), against `cp -r` of the same files followed by one `sync` (the
// same promise: every file on disk when the run ends), measured in the same
// run. One large file (default 256 MB) and one compressed cache body that
// inflates a thousandfold (default 1024 MB decoded) show that memory stays at
// the copy's buffers.

#include "CacheEntryFiles.h"
#include "TestApp.h"
#include "tools/CopyTool.h"
#include "tools/Form_Copy_Move.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <unistd.h>
#include <zlib.h>

namespace {

long peakKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Starts the peak memory figure again from the current use.
void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A gzip stream of megabytes zeros, made a megabyte at a time.
QByteArray gzipZeros(int megabytes) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const QByteArray mb(1 << 20, '\0');
    QByteArray out;
    char buffer[1 << 16];
    for (int i = 0; i < megabytes; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(mb.constData()));
        z.avail_in = uInt(mb.size());
        const int flush = i + 1 == megabytes ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
    }
    deflateEnd(&z);
    return out;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TestApp t;
    QTextStream out(stdout);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    const int kb = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 64;
    const int bigMb = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 256;
    const int inflatedMb = argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 1024;

    QTemporaryDir dir;
    const QString src = dir.path() + QStringLiteral("/src/");
    QDir().mkpath(src);
    const QByteArray content(kb * 1024, 'c');
    QList<CopySource> files;
    for (int i = 0; i < count; ++i) {
        const QString path = src + QStringLiteral("file%1.pdf").arg(i);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        files << CopySource(path);
    }

    const auto run = [&](const QString& destination, int rule, const QList<CopySource>& list) {
        // Each run starts with nothing left to write back from the one before.
        ::sync();
        Form_Copy_Move w(nullptr, dir.path() + QStringLiteral("/SaveList.dat"));
        w.show();
        w.CopyFileList = list;
        w.Option1[rule]->setChecked(true);
        w.Combo1->setEditText(destination);
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        tick.setInterval(0);
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
        tick.start();
        sinceTick.start();
        QElapsedTimer timer;
        timer.start();
        w.执行(false);
        return std::make_pair(timer.elapsed(), longestGap);
    };

    const auto [first, gap1] = run(dir.path() + QStringLiteral("/dst/"), 3, files);
    const auto [again, gap2] = run(dir.path() + QStringLiteral("/dst/"), 4, files);

    ::sync();
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("cp -r '%1' '%2/cp' && sync").arg(src, dir.path())});
    const qint64 cpMs = qMax<qint64>(1, timer.elapsed());
    // cp over the same files again: replacing files frees the old ones' blocks,
    // which costs this file system as much as writing them.
    ::sync();
    timer.restart();
    QProcess::execute(QStringLiteral("sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("cp -r '%1/.' '%2/cp' && sync").arg(src, dir.path())});
    const qint64 cpAgainMs = qMax<qint64>(1, timer.elapsed());

    out << count << " files of " << kb << " KB into an empty folder: " << first << " ms ("
        << QString::number(double(first) / double(cpMs), 'f', 2)
        << " x cp -r + sync); longest time without events " << gap1 << " ms\n";
    out << "the same files over themselves (rule 4, overwrite): " << again << " ms ("
        << QString::number(double(again) / double(cpAgainMs), 'f', 2)
        << " x cp -r over them + sync)\n";
    out << "cp -r of the same files, then sync: " << cpMs << " ms; over them again: " << cpAgainMs
        << " ms\n";

    if (bigMb > 0) {
        const QString big = dir.path() + QStringLiteral("/big.pdf");
        QFile f(big);
        f.open(QIODevice::WriteOnly);
        const QByteArray mb(1 << 20, 'b');
        for (int i = 0; i < bigMb; ++i)
            f.write(mb);
        f.close();
        resetPeak();
        const long before = peakKb();
        const auto [bigMs, gap3] = run(dir.path() + QStringLiteral("/big/"), 3, {CopySource(big)});
        out << "one file of " << bigMb << " MB: " << bigMs << " ms; longest time without events "
            << gap3 << " ms; peak memory " << before / 1024 << " MB before, " << peakKb() / 1024
            << " MB during\n";
        QFile::remove(big);
        QDir(dir.path() + QStringLiteral("/big")).removeRecursively();
    }

    if (inflatedMb > 0) {
        const QString cache = dir.path() + QStringLiteral("/cache");
        QDir().mkpath(cache);
        const QByteArray gz = gzipZeros(inflatedMb);
        const QString address = QStringLiteral("http://h/zeros.bin");
        const QString entry =
            WriteCacheEntryFile(cache, address, gz, "application/octet-stream", "gzip", true);
        resetPeak();
        const long before = peakKb();
        const auto [ms, gap4] = run(dir.path() + QStringLiteral("/inflated/"), 3,
                                    {CopySource::cacheEntry(entry, address, "zeros.bin")});
        out << "a cached gzip body of " << gz.size() / 1024 << " KB inflating to " << inflatedMb
            << " MB: " << ms << " ms, "
            << QFileInfo(dir.path() + QStringLiteral("/inflated/zeros.bin")).size() / (1 << 20)
            << " MB written; longest time without events " << gap4 << " ms; peak memory "
            << before / 1024 << " MB before, " << peakKb() / 1024 << " MB during\n";
    }
    return 0;
}
