#pragma once

#include <QString>
#include <functional>

class ArticleListModel;
class Clock;
class Transport;

// Analyses article rows one at a time: finds each row's PDF address (fetching
// the intermediate page of an "SD2" row under the rate-limit delay), then hands
// the article to the download list or, when asked, fetches its file at once.
// The row's analysis state is the only trace of the outcome.
class ArticleAnalyser {
public:
    struct Hooks {
        std::function<bool()> directDownload; // "分析后直接下载" is ticked
        std::function<QString()> delayText;   // the delay box's text, read on every pass
        std::function<bool()> analyseStopped; // a stop was asked for
        // The window is going: a page request still waiting is aborted (after
        // a stop the row would otherwise keep the window up to the request's
        // time limit).
        std::function<bool()> closing;
    };

    ArticleAnalyser(ArticleListModel& list, Transport& transport, Hooks hooks);

    // Analyses the row at this 0-based position.
    void 加入下载列表(int row);

    // The delay between two requests of an analysis run; at least what the
    // site last asked for.
    void 限速延时_分析下载();

private:
    // Writes the state of the row with this link, wherever it stands now.
    void setState(const QString& link, const QString& state);
    QString state(const QString& link) const;

    ArticleListModel& m_list;
    Transport& m_transport;
    Hooks m_hooks;
    // The wait the site asked for with its last answer (0: it asked none).
    double m_siteWait = 0;
};
