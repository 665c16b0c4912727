#include "net/SiteAnswer.h"

#include "net/HttpDate.h"
#include "platform/Clock.h"

#include <QRegularExpression>
#include <algorithm>

std::optional<double> ParseRetryAfter(const QString& value, const QDateTime& nowUtc) {
    const QString text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qlonglong seconds = text.toLongLong(&ok);
    if (ok)
        return seconds < 0 ? std::nullopt : std::optional<double>(double(seconds));
    const QDateTime when = ParseHttpDate(text, nowUtc);
    if (!when.isValid())
        return std::nullopt;
    return std::max(0.0, double(nowUtc.msecsTo(when)) / 1000.0);
}

bool IsPleaseWaitStatus(int status) {
    return status == 429 || status == 503;
}

bool IsRobotCheck(int status, bool hasRetryAfter, const QByteArray& bodyHead) {
    if ((status != 403 && status != 503) || hasRetryAfter)
        return false;
    const QByteArray page = bodyHead.left(SiteAnswerHeadBytes).toLower();
    const bool html = page.contains("<html") || page.contains("<!doctype html") ||
                      page.contains("<body") || page.contains("<head");
    if (!html)
        return false;
    // A page that asks for a password is a sign-in page, which the login
    // handles, not a check.
    static const QRegularExpression password(
        QStringLiteral("<input[^>]*type\\s*=\\s*[\"']?password"));
    if (password.match(QString::fromLatin1(page)).hasMatch())
        return false;
    // A check asks the person to send a form; a form without a control to
    // send it with, a bare error page, or one whose only code is a script
    // (analytics on an "Access denied" page) is no check. Neither is the
    // site's search box in the header of its refusal page.
    static const QRegularExpression searchForm(
        QStringLiteral("role\\s*=\\s*[\"']?search|action\\s*=\\s*[\"']?[^\"'\\s>]*search"));
    static const QRegularExpression searchBox(
        QStringLiteral("<input[^>]*type\\s*=\\s*[\"']?search"));
    for (qsizetype form = page.indexOf("<form"); form >= 0;
         form = page.indexOf("<form", form + 5)) {
        const qsizetype tagEnd = page.indexOf('>', form);
        if (tagEnd < 0)
            break;
        const qsizetype close = page.indexOf("</form", tagEnd);
        const QByteArray tag = page.mid(form, tagEnd - form);
        const QByteArray content = page.mid(tagEnd, close < 0 ? -1 : close - tagEnd);
        if (searchForm.match(QString::fromLatin1(tag)).hasMatch() ||
            searchBox.match(QString::fromLatin1(content)).hasMatch())
            continue;
        if (content.contains("<input") || content.contains("<button"))
            return true;
    }
    return false;
}

SiteAnswer ClassifySiteAnswer(int status, const QString& retryAfter, const QByteArray& bodyHead) {
    const bool hasRetryAfter = !retryAfter.trimmed().isEmpty();
    if (IsRobotCheck(status, hasRetryAfter, bodyHead))
        return SiteAnswer::RobotCheck;
    if (IsPleaseWaitStatus(status))
        return SiteAnswer::PleaseWait;
    return SiteAnswer::Ordinary;
}

double SitePauseSeconds(std::optional<double> asked, double previousPause) {
    double pause = std::max(asked.value_or(SitePauseDefaultSeconds), SitePauseMinSeconds);
    if (previousPause > 0)
        pause = std::max(pause, previousPause * 2);
    return std::clamp(pause, SitePauseMinSeconds, SitePauseMaxSeconds);
}

bool IsPleaseWaitAtHeaders(int status, const QString& retryAfter) {
    return status == 429 || (status == 503 && !retryAfter.trimmed().isEmpty());
}

QDateTime HttpNow(const Clock& clock) {
    return QDateTime::currentDateTimeUtc().addMSecs(static_cast<qint64>(clock.offset() * 1000.0));
}
