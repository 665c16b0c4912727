#include "about/UpdateNotice.h"

#include "net/uXMLHTTP.h"
#include "shell/AppValues.h"
#include "shell/fCover.h"

#include "VarnelleVersion.h"

#include <QDesktopServices>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <array>

namespace {
// The three numbers of a.b.c, or nothing.
bool versionParts(const QString& text, std::array<qulonglong, 3>* parts) {
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        const QString& f = fields.at(i);
        if (f.isEmpty())
            return false;
        for (const QChar c : f) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        bool ok = false;
        (*parts)[i] = f.toULongLong(&ok);
        if (!ok)
            return false;
    }
    return true;
}
} // namespace

bool UpdateAnswerIsNewer(const QString& answer, int major, int minor, int revision) {
    const QString text = answer.trimmed();
    if (text.isEmpty() || text.size() > 20)
        return false;
    std::array<qulonglong, 3> offered{};
    if (!versionParts(text, &offered))
        return false;
    // Part by part, so that a large minor or revision number never spills
    // into the part above it.
    const std::array<qulonglong, 3> own{qulonglong(qMax(0, major)), qulonglong(qMax(0, minor)),
                                        qulonglong(qMax(0, revision))};
    return offered > own;
}

UpdateNotice::UpdateNotice(fCover* cover, QString versionAddress, QString downloadPage)
    : QObject(cover), m_cover(cover), m_address(std::move(versionAddress).trimmed()),
      m_downloadPage(std::move(downloadPage).trimmed()) {
    openPage = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(cover->uXMLHTTP2, &uXMLHTTP::OnDateArrived, this, &UpdateNotice::arrived);
    connect(cover->uXMLHTTP2, &uXMLHTTP::OnDateErr, this, &UpdateNotice::failed);
}

void UpdateNotice::start() {
    if (!m_cover)
        return;
    m_cover->Timer1->stop();
    if (m_address.isEmpty())
        return;
    if (m_cover->uXMLHTTP2->Open_(QStringLiteral("GET"), m_address))
        m_cover->uXMLHTTP2->Send_();
}

void UpdateNotice::arrived() {
    if (!m_cover)
        return;
    const QString answer = m_cover->uXMLHTTP2->ResponseText().trimmed();
    if (!UpdateAnswerIsNewer(answer, VARNELLE_VERSION_MAJOR, VARNELLE_VERSION_MINOR,
                             VARNELLE_VERSION_PATCH))
        return;
    m_cover->Label3->setText(QStringLiteral("有最新版本：V") + answer +
                             QStringLiteral("可以下载升级。"));
    m_cover->Label3->show();
    const QUrl page(m_downloadPage);
    if (!m_downloadPage.isEmpty() && page.isValid() && openPage)
        openPage(page);
    app().dialogs().information(m_cover, QStringLiteral("有新版本发布，请下载安装升级！"));
}

void UpdateNotice::failed() {
    // The check runs again each time the About window closes; one word about
    // the network is enough for a run.
    if (m_failureShown)
        return;
    m_failureShown = true;
    app().dialogs().error(m_cover, QStringLiteral("请保持网络畅通！"));
}
