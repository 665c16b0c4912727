#pragma once

#include <QString>
#include <functional>

class Clock;

// --- Text routines of the analysis ---

// The PDF address that an intermediate page sends the browser on to with
// window.location=, or empty when there is none. Spaces are ignored; the
// address must be followed by a quote, a semicolon or a space to count.
QString 提取SD2的pdf网址(const QString& pageText);

// Removes every CR LF pair, then every remaining CR and LF, then every NUL.
QString RemoveLineBreaks(const QString& text);

// The last part of a path or address (after the last "/" or "\"), trimmed;
// withoutExtension drops everything from its last "." on.
QString FileNameFromPath(const QString& pathOrAddress, bool withoutExtension);

// Every "&amp;" (any letter case) turned into "&".
QString DecodeAmpersands(const QString& text);

// The delay of the delay box's text: the whole-number part of its leading
// number, 0 when it does not start with one.
int DelaySecondsFromText(const QString& text);

// Waits the rate-limit delay on the program clock. The delay text is read on
// every pass, so a change takes effect at once; stopped() ends the wait at
// once. Pending events are processed at least once, and the wait sleeps on
// events between passes. The wait lasts at least atLeastSeconds (the time a
// site asked to wait), whatever the delay box says.
void RateLimitDelay(Clock& clock, const std::function<QString()>& delayText,
                    const std::function<bool()>& stopped, double atLeastSeconds = 0);

// --- The direct fetch ---

class Transport;

// What a direct fetch saved.
struct DirectFetchResult {
    double bytes = 0; // the file's length; 0 when nothing was saved
    QString path;     // the full path written
    QString fileName; // its name, extension included
    QString folder;   // the folder as actually used, without a trailing "/"
};

// Fetches address into folder/fileName with one request of its own, sending
// referer (or the address's scheme and host when it is empty). timeout (0
// means 60) bounds, in seconds of the program clock, both the wait for the
// answer and any stretch without new bytes. Only a complete "200 OK" body
// counts: a fetch stopped by stopped(), stalled, or cut before the announced
// length saves nothing. The body is written beside the target and takes its
// name only when whole, so an existing file of that name is replaced by a
// complete file or not at all.
// fileName is a name and its extension: the name is cleaned and shortened as
// needed, the extension kept whole (JoinNameAndExtension); a name that leaves
// nothing takes the address's file name (FileNameFor).
DirectFetchResult Inet下载文件(Transport& transport, const QString& address, const QString& referer,
                               const QString& fileName, const QString& folder, int timeout,
                               const std::function<bool()>& stopped);
