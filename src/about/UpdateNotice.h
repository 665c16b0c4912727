#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

class fCover;

// True when the version server's answer (blanks around it dropped) names a
// version above major.minor.revision: at most 20 characters of the form a.b.c
// with three whole numbers. Any other answer names nothing.
bool UpdateAnswerIsNewer(const QString& answer, int major, int minor, int revision);

// The start-up window's update notice: when its Timer1 fires, uXMLHTTP2 asks
// the version address for the newest version number. A newer one shows Label3,
// opens the download page (when the build names one) and tells the user; a
// failed check says so once per program run, however often it runs again.
// An empty version address makes no request at all.
class UpdateNotice : public QObject {
    Q_OBJECT
public:
    UpdateNotice(fCover* cover, QString versionAddress, QString downloadPage = {});

    // Timer1's step: disables the timer and sends the request.
    void start();

    // How the download page is opened; the user's web browser by default.
    std::function<void(const QUrl&)> openPage;

private:
    void arrived();
    void failed();

    QPointer<fCover> m_cover;
    QString m_address;
    QString m_downloadPage;
    bool m_failureShown = false;
};
