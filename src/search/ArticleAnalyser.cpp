#include "search/ArticleAnalyser.h"

#include "download/RecordSources.h"
#include "net/HttpGetText.h"
#include "net/SiteAnswer.h"
#include "platform/Transport.h"
#include "platform/Wait.h"
#include "search/Analysis.h"
#include "search/ArticleListModel.h"
#include "search/HandOff.h"
#include "shell/AppValues.h"

ArticleAnalyser::ArticleAnalyser(ArticleListModel& list, Transport& transport, Hooks hooks)
    : m_list(list), m_transport(transport), m_hooks(std::move(hooks)) {}

void ArticleAnalyser::setState(const QString& link, const QString& state) {
    m_list.setState(m_list.indexOfLink(link), state);
}

QString ArticleAnalyser::state(const QString& link) const {
    const int row = m_list.indexOfLink(link);
    return row < 0 ? QString() : m_list.at(row).state;
}

void ArticleAnalyser::限速延时_分析下载() {
    RateLimitDelay(m_transport.clock(), m_hooks.delayText, m_hooks.analyseStopped, m_siteWait);
}

void ArticleAnalyser::加入下载列表(int row) {
    if (row < 0 || row >= m_list.size())
        return;
    const bool direct = m_hooks.directDownload && m_hooks.directDownload();
    // A copy: the list may change while the waits below process events.
    const ArticleEntry entry = m_list.at(row);
    const QString& link = entry.link;
    const QString title = RemoveLineBreaks(entry.title).trimmed();
    // What the row knows of its article now: the page fetched below may add
    // to it, and the name may be made from it.
    const auto record = [&] {
        const int now = m_list.indexOfLink(link);
        return now < 0 ? entry.record : m_list.at(now).record;
    };
    const auto target = [&] {
        return HandOffTarget(link, title, app().UseOriginalFileName, record(),
                             app().FileNamePattern, entry.saveFolder, app().CurrentSaveFolder);
    };

    setState(link, ArticleState::Analysing);
    Wait::processEventsOnce();

    QString pdfAddress;
    QString referer = HandOffReferer(entry.layout, link, entry.pageAddress);
    // What the analysis found stays with the article (kept across runs).
    const auto found = [&] {
        if (!pdfAddress.isEmpty())
            m_list.setPdfAddress(m_list.indexOfLink(link), pdfAddress);
    };
    if (entry.layout != QStringLiteral("SD2")) {
        pdfAddress = link;
        found();
    } else {
        QString url = link;
        QString pageReferer = entry.pageAddress;
        HttpTextAnswer answer;
        const QString page = HttpGetText(m_transport, url, QStringLiteral("utf-8"), pageReferer,
                                         true, m_hooks.closing, &answer);
        // A site that asks to wait is given the time it asks for, doubled
        // when it asks again right after.
        m_siteWait =
            IsPleaseWaitStatus(answer.status)
                ? SitePauseSeconds(ParseRetryAfter(answer.retryAfter, HttpNow(m_transport.clock())),
                                   m_siteWait)
                : 0;
        pdfAddress = DecodeAmpersands(提取SD2的pdf网址(page));
        found();
        // The article or intermediate page names its article in its head.
        m_list.fillRecord(m_list.indexOfLink(link),
                          RecordFromMetaTags(MetaTagsFromHtml(page, url)));

        if (!pdfAddress.isEmpty() && direct) {
            setState(link, ArticleState::Downloading);
            Wait::processEventsOnce();
            const HandOffPlace place = target();
            const DirectFetchResult saved =
                Inet下载文件(m_transport, pdfAddress, referer, place.name + QStringLiteral(".pdf"),
                             place.folder, 0, m_hooks.analyseStopped);
            setState(link, saved.bytes < 1 ? ArticleState::DownloadFailed
                                           : ArticleState::DownloadSucceeded);
            限速延时_分析下载();
            return;
        }
        限速延时_分析下载();
    }

    if (!pdfAddress.isEmpty()) {
        const HandOffPlace place = target();
        HandOff(pdfAddress, place.name, entry.type, place.folder, referer, record());
        setState(link, ArticleState::Analysed);
    }
    if (state(link) == ArticleState::Analysing)
        setState(link, ArticleState::AnalysisFailed);
}
