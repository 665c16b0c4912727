#pragma once

#include "shell/AppValues.h"
#include "shell/WindowFlow.h"

#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>

// Dialogs that record what the program said and answer from queues instead of
// waiting for a person. An empty answer queue answers Yes / cancels.
class RecordingDialogs : public Dialogs {
public:
    QStringList messages; // plain, without an icon
    QStringList informations;
    QStringList errors;
    QStringList questions;
    QStringList inputPrompts;
    std::deque<bool> questionAnswers; // front answers the next question
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<QString> folderAnswers;
    std::deque<QString> fileAnswers;
    // The extension each save dialog was told to add to a name typed without one.
    QStringList saveSuffixes;

    void message(QWidget*, const QString& text) override { messages << text; }
    void information(QWidget*, const QString& text) override { informations << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
    bool question(QWidget*, const QString& text) override {
        questions << text;
        if (questionAnswers.empty())
            return true;
        const bool answer = questionAnswers.front();
        questionAnswers.pop_front();
        return answer;
    }
    std::optional<QString> inputText(QWidget*, const QString& prompt, const QString&,
                                     const QString&) override {
        inputPrompts << prompt;
        if (inputAnswers.empty())
            return std::nullopt;
        // Unpacked by hand: copying the optional trips g++ 12's
        // maybe-uninitialized warning at -O2.
        const bool answered = inputAnswers.front().has_value();
        const QString text = answered ? *inputAnswers.front() : QString();
        inputAnswers.pop_front();
        if (!answered)
            return std::nullopt;
        return text;
    }
    QString pickFolder(QWidget*, const QString&, const QString&) override {
        return takeFront(folderAnswers);
    }
    QString openFile(QWidget*, const QString&, const QString&, const QString&) override {
        return takeFront(fileAnswers);
    }
    // Answers as the real dialog does: a name without an extension comes back
    // with the default suffix.
    QString saveFile(QWidget*, const QString&, const QString&, const QString&,
                     const QString& defaultSuffix) override {
        saveSuffixes << defaultSuffix;
        QString file = takeFront(fileAnswers);
        if (!file.isEmpty() && !defaultSuffix.isEmpty() &&
            !QFileInfo(file).fileName().contains(QLatin1Char('.')))
            file += QLatin1Char('.') + defaultSuffix;
        return file;
    }

    // Every message shown so far, of any kind, in order of kind.
    QStringList all() const { return messages + informations + errors + questions; }

private:
    static QString takeFront(std::deque<QString>& q) {
        if (q.empty())
            return {};
        QString s = q.front();
        q.pop_front();
        return s;
    }
};

// Desktop notices kept in order instead of shown: "summary|body".
class RecordingNotices : public DesktopNotices {
public:
    QStringList notices;
    void notify(const QString& summary, const QString& body) override {
        notices << summary + QLatin1Char('|') + body;
    }
    // The summaries alone.
    QStringList summaries() const {
        QStringList out;
        for (const QString& n : notices)
            out << n.section(QLatin1Char('|'), 0, 0);
        return out;
    }
};

// A program context for one test: settings in a temporary folder, recording
// dialogs and desktop notices, and an exit that only records that the
// program would end.
class TestApp {
public:
    TestApp() {
        isolateBrowserStorage();
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
        // The data folder (the kept lists) is the test's own too; nothing is
        // kept unless the test asks for it (keepLists()).
        qputenv("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8());
        values = std::make_unique<AppValues>(
            std::make_unique<SettingsStore>(m_dir.path() + QStringLiteral("/Varnelle.conf")));
        auto recorder = std::make_unique<RecordingDialogs>();
        dialogs = recorder.get();
        values->setDialogs(std::move(recorder));
        auto noticeRecorder = std::make_unique<RecordingNotices>();
        notices = noticeRecorder.get();
        values->setNotices(std::move(noticeRecorder));
        values->flow().setExitHandler([this] { ++exitCount; });
        // No test may reach the internet: the search window's home page is blank.
        values->SiteHomeAddress = QStringLiteral("about:blank");
    }
    // The kept lists are written while their folder still exists.
    ~TestApp() {
        if (values)
            values->keptLists().close();
    }
    TestApp(const TestApp&) = delete;
    TestApp& operator=(const TestApp&) = delete;

    QString tempPath() const { return m_dir.path(); }
    // Test processes run side by side, and every download window has a
    // browser: unless a test chose a folder, each process keeps its browser
    // storage in a temporary folder of its own.
    static void isolateBrowserStorage();
    SettingsStore& settings() { return values->settings(); }
    // Keeps the lists from now on, in the test's data folder, as the program
    // does from its start; true when keeping.
    bool keepLists() { return values->keptLists().open(); }

    std::unique_ptr<AppValues> values;
    RecordingDialogs* dialogs = nullptr;
    RecordingNotices* notices = nullptr;
    int exitCount = 0;

private:
    QTemporaryDir m_dir;
};
