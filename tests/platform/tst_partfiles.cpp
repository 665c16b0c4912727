#include "WriterContent.h"

#include "platform/PartFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
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

    // The sync of a finished part runs on a thread of its own and reports
    // from the event loop; what the owner does with the part meanwhile
    // (places it, removes it, keeps it for a resume) holds once it reports.
    void syncOnItsOwnThread_data() {
        QTest::addColumn<QString>("meanwhile"); // what the owner does before the report
        QTest::newRow("placed after the report") << "nothing";
        QTest::newRow("removed during the sync") << "discard";
        QTest::newRow("kept for a resume during the sync") << "keep";
        QTest::newRow("waited for on events") << "wait";
    }
    void syncOnItsOwnThread() {
        QFETCH(QString, meanwhile);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath("paper.pdf");
        const QString address = QStringLiteral("http://127.0.0.1/paper.pdf");
        const QByteArray body = QByteArray(3 * 1024 * 1024 + 7, 'x');
        PartFile part(target);
        QVERIFY(part.open());
        QVERIFY(part.setResumable({address, "\"tag\"", body.size() * 2}));
        QCOMPARE(part.device()->write(body), body.size());
        const QString partPath = part.path();

        std::optional<bool> synced;
        if (meanwhile == QLatin1String("wait")) {
            synced = part.finishWaiting();
        } else {
            QObject context;
            part.finishThen(&context, [&](bool ok) { synced = ok; });
            QVERIFY(!synced); // never before the event loop runs
            if (meanwhile == QLatin1String("discard"))
                part.discard();
            else if (meanwhile == QLatin1String("keep"))
                part.keep();
            QTRY_VERIFY(synced.has_value());
        }
        QVERIFY(*synced);
        // No more writes once the sync began.
        QVERIFY(!part.isOpen());

        if (meanwhile == QLatin1String("discard")) {
            QVERIFY(!QFile::exists(partPath));
            QVERIFY(!QFile::exists(target));
        } else if (meanwhile == QLatin1String("keep")) {
            // Whole on disk and free for the row's next attempt.
            PartFile::ResumeFacts facts;
            QCOMPARE(PartFile::peekResume(target, address, &facts), body.size());
            PartFile again(target);
            QCOMPARE(again.openToResume(address, &facts), body.size());
            again.discard();
        } else {
            QVERIFY(part.commitTo(target));
            QFile placed(target);
            QVERIFY(placed.open(QIODevice::ReadOnly));
            QCOMPARE(placed.readAll(), body);
            QVERIFY(!QFile::exists(partPath));
        }
    }
};

QTEST_GUILESS_MAIN(TestPartFiles)
#include "tst_partfiles.moc"
