#pragma once

#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "platform/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>

#include <memory>

// What the engine's tests start each case from: a fresh program-wide state,
// an empty folder for the files, and a scheduler over a list of its own.
class SchedulerFixture : public QObject {
protected:
    std::unique_ptr<TestApp> t;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DownloadListModel> model;
    std::unique_ptr<Scheduler> s;

    void setUpRun() {
        tearDownRun();
        t = std::make_unique<TestApp>();
        app().MaxFileSizeMB = 10;
        dir = std::make_unique<QTemporaryDir>();
        model = std::make_unique<DownloadListModel>();
        s = std::make_unique<Scheduler>(*model);
    }
    // The scheduler goes before the list it runs over, the folder before the
    // program-wide state its files were named under.
    void tearDownRun() {
        s.reset();
        model.reset();
        dir.reset();
        t.reset();
    }

    // Mode two runs in the background: wait (real time, bounded) until the row
    // is no longer downloading.
    bool waitForRow(int i, int ms = 20000) {
        QElapsedTimer e;
        e.start();
        Wait::until([&] { return row(i).state != ItemState::Downloading || e.elapsed() > ms; });
        return row(i).state != ItemState::Downloading;
    }

    QString folder() const { return dir->path() + QLatin1Char('/'); }
    const DownloadItem& row(int i) const { return model->item(i); }
    // Every name in the folder, hidden ones included, sorted.
    QStringList names() const {
        return QDir(folder()).entryList(
            QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
};
