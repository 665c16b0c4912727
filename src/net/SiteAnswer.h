#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

class Clock;

// How a site asks a client to slow down or to prove it is a person, and what
// the program makes of it. Plain rules, shared by the download engine and the
// analysis requests of the search window.

// The seconds a Retry-After value asks for: a whole number of seconds, or an
// HTTP date (any form ParseHttpDate reads) counted from now.
// A date in the past asks for no wait (0). Nothing when the value is empty or
// neither form.
std::optional<double> ParseRetryAfter(const QString& value, const QDateTime& nowUtc);

// A status by which the site asks the client to come back later.
bool IsPleaseWaitStatus(int status);

// Whether an answer is a robot check standing in front of the document: a
// refusal (403) or an unavailable service (503) without Retry-After whose body
// is a web page with a form and a control to send it, which the check needs to
// let a person through. A script alone proves nothing: refusal pages carry
// analytics and tracking code too, and one taken for a check would hold the
// whole run for a person. An ordinary error page (plain text, or HTML without
// such a form), a sign-in page (it asks for a password) and a 503 that says
// when to come back are no checks.
bool IsRobotCheck(int status, bool hasRetryAfter, const QByteArray& bodyHead);

// What a transfer does with an answer before judging its body as a file.
enum class SiteAnswer {
    Ordinary,   // judge the body as usual
    PleaseWait, // the site asked to wait: the row goes back to waiting, the run pauses
    RobotCheck, // a check the user has to pass in the browser
};
SiteAnswer ClassifySiteAnswer(int status, const QString& retryAfter, const QByteArray& bodyHead);

// The pause after a request to wait. asked is what Retry-After said
// (nothing: SitePauseDefaultSeconds, the analysis's wait; the download run
// asks SitePacing's shorter first pause); previousPause is the pause of the
// refusal just before (0: none), which a refusal in a row doubles. Never less than
// SitePauseMinSeconds (a "0", or a date gone by, would otherwise let the run
// ask again at once, and doubling nothing stays nothing), never more than
// SitePauseMaxSeconds.
inline constexpr double SitePauseDefaultSeconds = 60;
inline constexpr double SitePauseMinSeconds = 1;
inline constexpr double SitePauseMaxSeconds = 3600;
double SitePauseSeconds(std::optional<double> asked, double previousPause);

// The bytes of a body that the check rule looks at.
inline constexpr qint64 SiteAnswerHeadBytes = 64 * 1024;

// An answer that asks to wait whatever its body says: 429, or 503 with a
// Retry-After. The transfer can stop at the headers.
bool IsPleaseWaitAtHeaders(int status, const QString& retryAfter);

// Now as an HTTP date-time on the program clock (which tests move), for ParseRetryAfter.
QDateTime HttpNow(const Clock& clock);
