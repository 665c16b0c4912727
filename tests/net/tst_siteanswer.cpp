// The rules by which a site's request to wait and its robot checks are told
// apart from ordinary answers.

#include "net/SiteAnswer.h"

#include <QTest>

class TestSiteAnswer : public QObject {
    Q_OBJECT
private:
    static QDateTime now() { return QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0), Qt::UTC); }

private slots:
    void retryAfter_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("seconds");
        QTest::newRow("seconds") << "120" << true << 120.0;
        QTest::newRow("seconds with blanks") << " 30 " << true << 30.0;
        QTest::newRow("zero") << "0" << true << 0.0;
        QTest::newRow("date") << "Sun, 01 Mar 2026 12:01:30 GMT" << true << 90.0;
        QTest::newRow("RFC 850 date") << "Sunday, 01-Mar-26 12:00:45 GMT" << true << 45.0;
        QTest::newRow("asctime date") << "Sun Mar  1 12:00:10 2026" << true << 10.0;
        QTest::newRow("date in the past") << "Sun, 01 Mar 2026 11:00:00 GMT" << true << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("negative") << "-5" << false << 0.0;
        QTest::newRow("words") << "soon" << false << 0.0;
        QTest::newRow("fraction") << "1.5" << false << 0.0;
    }
    void retryAfter() {
        QFETCH(QString, value);
        QFETCH(bool, valid);
        QFETCH(double, seconds);
        const std::optional<double> asked = ParseRetryAfter(value, now());
        QCOMPARE(asked.has_value(), valid);
        if (valid)
            QCOMPARE(*asked, seconds);
    }

    void robotCheck_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("retryAfter");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("check");
        const QByteArray form = "<!DOCTYPE html><html><body><form method=post action=/v>"
                                "<input type=submit></form></body></html>";
        const QByteArray script = "<html><head><script src=/challenge.js></script></head>"
                                  "<body>Checking your browser</body></html>";
        const QByteArray plain = "<html><body><h1>403 Forbidden</h1></body></html>";
        // An "Access denied" page as publishers send it: analytics, no form.
        const QByteArray denied =
            "<!DOCTYPE html><html><head><title>Access Denied</title>"
            "<script async src=\"https://www.googletagmanager.com/gtag/js?id=G-1\"></script>"
            "<script>window.dataLayer = window.dataLayer || [];</script></head>"
            "<body><h1>Access Denied</h1><p>You don't have permission to access this "
            "article.</p></body></html>";
        // The same refusal with the site's search box in its header.
        const QByteArray deniedWithSearch =
            "<html><head><script src=/analytics.js></script></head><body>"
            "<form action=\"/search\" method=get><input name=qs><button>Search</button></form>"
            "<form role=search><input name=q></form>"
            "<form action=/find><input type=search name=q></form>"
            "<h1>Access denied</h1></body></html>";
        const QByteArray challenge =
            "<html><head><title>Just a moment...</title><script src=/cdn-cgi/challenge.js>"
            "</script></head><body><form id=challenge-form action=\"/paper?__chl=1\" "
            "method=POST><input type=hidden name=md value=x></form></body></html>";
        QTest::newRow("403 form") << 403 << false << form << true;
        QTest::newRow("403 challenge: script and form") << 403 << false << challenge << true;
        QTest::newRow("403 script only") << 403 << false << script << false;
        QTest::newRow("503 script only") << 503 << false << script << false;
        QTest::newRow("403 access denied with analytics") << 403 << false << denied << false;
        QTest::newRow("403 access denied with search forms")
            << 403 << false << deniedWithSearch << false;
        QTest::newRow("403 search form and a check form")
            << 403 << false << deniedWithSearch + challenge << true;
        QTest::newRow("403 control outside the form")
            << 403 << false
            << QByteArray("<html><body><form action=/v></form><button>Go</button></body></html>")
            << false;
        QTest::newRow("503 form with Retry-After") << 503 << true << form << false;
        QTest::newRow("403 bare error page") << 403 << false << plain << false;
        QTest::newRow("403 sign-in page")
            << 403 << false
            << QByteArray("<html><script></script><body><form><input name=user>"
                          "<input type='password' name=pw><input type=submit></form></body></html>")
            << false;
        QTest::newRow("403 form without controls")
            << 403 << false << QByteArray("<html><body><form>user</form></body></html>") << false;
        QTest::newRow("403 form with a button")
            << 403 << false
            << QByteArray("<html><body><form><button>Go</button></form></body></html>") << true;
        QTest::newRow("403 text") << 403 << false << QByteArray("<form> is a word here") << false;
        QTest::newRow("200 sign-in form") << 200 << false << form << false;
        QTest::newRow("404 form") << 404 << false << form << false;
        QTest::newRow("429 form") << 429 << false << form << false;
    }
    void robotCheck() {
        QFETCH(int, status);
        QFETCH(bool, retryAfter);
        QFETCH(QByteArray, body);
        QFETCH(bool, check);
        QCOMPARE(IsRobotCheck(status, retryAfter, body), check);
    }

    void classify_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("retryAfter");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("answer");
        const QByteArray page = "<html><body><form><input type=submit></form></body></html>";
        const int wait = int(SiteAnswer::PleaseWait);
        QTest::newRow("429") << 429 << "" << QByteArray("slow down") << wait;
        QTest::newRow("429 with a form") << 429 << "" << page << wait;
        QTest::newRow("503 with Retry-After") << 503 << "10" << page << wait;
        QTest::newRow("503 text") << 503 << "" << QByteArray("down") << wait;
        QTest::newRow("503 page with a script only")
            << 503 << "" << QByteArray("<html><script>track()</script><body>down</body></html>")
            << wait;
        QTest::newRow("503 check") << 503 << "" << page << int(SiteAnswer::RobotCheck);
        QTest::newRow("403 check") << 403 << "" << page << int(SiteAnswer::RobotCheck);
        QTest::newRow("403 refusal") << 403 << "" << QByteArray("no") << int(SiteAnswer::Ordinary);
        QTest::newRow("200") << 200 << "5" << page << int(SiteAnswer::Ordinary);
    }
    void classify() {
        QFETCH(int, status);
        QFETCH(QString, retryAfter);
        QFETCH(QByteArray, body);
        QFETCH(int, answer);
        QCOMPARE(int(ClassifySiteAnswer(status, retryAfter, body)), answer);
    }

    void pause_data() {
        QTest::addColumn<double>("asked"); // < 0: none
        QTest::addColumn<double>("previous");
        QTest::addColumn<double>("pause");
        QTest::newRow("as asked") << 30.0 << 0.0 << 30.0;
        QTest::newRow("none asked") << -1.0 << 0.0 << 60.0;
        QTest::newRow("over an hour") << 7200.0 << 0.0 << 3600.0;
        QTest::newRow("asked again: doubled") << 30.0 << 30.0 << 60.0;
        QTest::newRow("asked more than double") << 100.0 << 30.0 << 100.0;
        QTest::newRow("doubled past an hour") << 60.0 << 3000.0 << 3600.0;
        // "0" (or a date gone by) on every answer: 1, 2, 4 ... never 0 again and again.
        QTest::newRow("zero: a second") << 0.0 << 0.0 << 1.0;
        QTest::newRow("zero after a second") << 0.0 << 1.0 << 2.0;
        QTest::newRow("zero after two") << 0.0 << 2.0 << 4.0;
        QTest::newRow("below a second") << 0.2 << 0.0 << 1.0;
    }
    void pause() {
        QFETCH(double, asked);
        QFETCH(double, previous);
        QFETCH(double, pause);
        const std::optional<double> a = asked < 0 ? std::nullopt : std::optional<double>(asked);
        QCOMPARE(SitePauseSeconds(a, previous), pause);
    }
};

QTEST_GUILESS_MAIN(TestSiteAnswer)
#include "tst_siteanswer.moc"
