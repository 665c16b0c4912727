#include "WriterContent.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

// Part files (PartFile) and the copy tool's temporary files (FileBatch) share
// their names and locks. Several processes writing the same target at once
// must never leave anything but one writer's whole file under its name.
class TestPartFiles : public QObject {
    Q_OBJECT

private slots:
    void writersOfOneName_data() {
        QTest::addColumn<QStringList>("modes"); // how each writer writes
        QTest::newRow("part files") << QStringList{"part", "part", "part"};
        QTest::newRow("file batches") << QStringList{"batch", "batch", "batch"};
        QTest::newRow("both") << QStringList{"part", "batch", "part", "batch"};
    }
    void writersOfOneName() {
        QFETCH(QStringList, modes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath("paper.pdf");
        constexpr int Rounds = 100;
        std::vector<std::unique_ptr<QProcess>> writers;
        // A failed check leaves no writer running.
        const auto stopAll = qScopeGuard([&] {
            for (const auto& process : writers) {
                process->kill();
                process->waitForFinished();
            }
        });
        for (int w = 0; w < modes.size(); ++w) {
            auto process = std::make_unique<QProcess>();
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QStringLiteral(PART_WRITER),
                           {modes.at(w), target, QString::number(w), QString::number(Rounds)});
            QVERIFY(process->waitForStarted());
            writers.push_back(std::move(process));
        }
        // All at once: each waits for this line before its first round.
        // (QProcess hands a process its input only while something waits on
        // that process.)
        for (const auto& process : writers) {
            process->write("go\n");
            QVERIFY(process->waitForBytesWritten());
        }
        for (const auto& process : writers) {
            QVERIFY(process->waitForFinished(300000));
            QCOMPARE(process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(process->exitCode(), 0);
        }
        QFile placed(target);
        QVERIFY(placed.open(QIODevice::ReadOnly));
        QVERIFY(IsWholeWriterContent(placed.readAll()));
        // Every part went, and the resume facts with it.
        QCOMPARE(
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"paper.pdf"});
    }
};

QTEST_GUILESS_MAIN(TestPartFiles)
#include "tst_partfiles.moc"
