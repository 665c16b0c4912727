// The copy dialog copying many files (default 1,000 of 64 KB) into an empty
// folder, then again over the same names with the size-and-time rule
// (overwrite), against cp on the same files. One large file (default 256 MB)
// shows the chunked copy's memory stays at its buffer.

#include "TestApp.h"
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
} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TestApp t;
    QTextStream out(stdout);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    const int kb = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 64;
    const int bigMb = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 256;

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
    out << count << " files of " << kb << " KB copied in " << first
        << " ms; longest time without events " << gap1 << " ms\n";
    const auto [again, gap2] = run(dir.path() + QStringLiteral("/dst/"), 4, files);
    out << "the same files over themselves (rule 4, overwrite): " << again << " ms\n";

    QElapsedTimer timer;
    timer.start();
    QDir().mkpath(dir.path() + QStringLiteral("/cp"));
    QProcess::execute(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("cp %1/*.pdf %2/cp/").arg(src, dir.path())});
    out << "cp of the same files: " << timer.elapsed() << " ms\n";

    if (bigMb > 0) {
        const QString big = dir.path() + QStringLiteral("/big.pdf");
        QFile f(big);
        f.open(QIODevice::WriteOnly);
        const QByteArray mb(1 << 20, 'b');
        for (int i = 0; i < bigMb; ++i)
            f.write(mb);
        f.close();
        const long before = peakKb();
        const auto [bigMs, gap3] = run(dir.path() + QStringLiteral("/big/"), 3, {CopySource(big)});
        out << "one file of " << bigMb << " MB: " << bigMs << " ms; longest time without events "
            << gap3 << " ms; peak memory " << before / 1024 << " MB before, " << peakKb() / 1024
            << " MB after\n";
    }
    return 0;
}
