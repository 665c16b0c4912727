#include "TestApp.h"
#include "about/frmAbout.h"
#include "download/SiteLoginPanel.h"
#include "download/UrlReplace.h"
#include "download/fFileDownload.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"
#include "shell/fCover.h"
#include "shell/fOption.h"
#include "shell/fSeleFileSavePath.h"
#include "tools/Form_Copy_Move.h"
#include "tools/fIEcache.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <memory>

// Every window on the screens researchers use: within the screen's
// available area, every caption, button and box at least its size hint and
// inside the parts that hold it; every control reached by Tab in order; every
// control named for a screen reader.
//
// The offscreen platform is given four screens side by side (see main()):
// 1366x768, 1920x1080 at 100 % and at 150 %, 3840x2160 at 200 %.

namespace {

struct Screen {
    const char* name;
    int width;
    int height;
    int dpi; // 96 is 100 %
};
constexpr Screen Screens[] = {{"1366x768", 1366, 768, 96},
                              {"1920x1080", 1920, 1080, 96},
                              {"1920x1080@150%", 1920, 1080, 144},
                              {"3840x2160@200%", 3840, 2160, 192}};

QScreen* screenNamed(const QString& name) {
    for (QScreen* s : QGuiApplication::screens()) {
        if (s->name() == name)
            return s;
    }
    return nullptr;
}

using WindowMaker = std::function<QWidget*(QWidget* owner)>;

// The windows, made as the program makes them; dialogs over an owner window.
struct WindowKind {
    const char* name;
    bool dialog;
    WindowMaker make;
};

DownloadListModel& urlReplaceList() {
    static DownloadListModel list;
    return list;
}

const QList<WindowKind>& windowKinds() {
    static const QList<WindowKind> kinds = {
        {"fCover", false, [](QWidget*) { return new fCover; }},
        {"fWebSearch", false, [](QWidget*) { return new fWebSearch; }},
        {"fFileDownload", false,
         [](QWidget*) {
             auto* w = new fFileDownload;
             // The window opens maximised at a first start; the test wants its
             // normal size too.
             w->setWindowState(Qt::WindowNoState);
             return w;
         }},
        {"fOption", true, [](QWidget* owner) { return new fOption(owner); }},
        {"fSeleFileSavePath", true,
         [](QWidget* owner) {
             return new fSeleFileSavePath(owner, QDir::tempPath() + "/no-such-list.dat");
         }},
        {"UrlReplace", true,
         [](QWidget* owner) { return new UrlReplace(urlReplaceList(), owner); }},
        {"fIEcache", true,
         [](QWidget* owner) {
             return new fIEcache(owner, QDir::tempPath(), QDir::tempPath() + "/no-cache");
         }},
        {"Form_Copy_Move", true,
         [](QWidget* owner) {
             return new Form_Copy_Move(owner, QDir::tempPath() + "/no-such-list.dat");
         }},
        {"frmAbout", true, [](QWidget* owner) { return new frmAbout(owner); }},
    };
    return kinds;
}

const WindowKind* kindNamed(const QString& name) {
    for (const WindowKind& k : windowKinds()) {
        if (name == QLatin1String(k.name))
            return &k;
    }
    return nullptr;
}

QString nameOf(const QWidget* w) {
    QString name = w->objectName();
    if (auto* b = qobject_cast<const QRadioButton*>(w))
        name += QLatin1Char('(') + b->text() + QLatin1Char(')');
    return name.isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : name;
}

// Controls whose inside belongs to Qt or to the web engine.
bool isInsideComposite(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractItemView*>(p) ||
            p->inherits("QWebEngineView"))
            return true;
    }
    return false;
}

// What the window's layout did wrong on the screen it is on: empty when it
// fits and cuts nothing.
QStringList layoutProblems(QWidget* window) {
    QStringList problems;
    const QRect area = window->screen()->availableGeometry();
    if (!area.contains(window->frameGeometry()))
        problems << QStringLiteral("window %1 outside the screen's %2")
                        .arg(QDebug::toString(window->frameGeometry()), QDebug::toString(area));
    const QList<QWidget*> children = window->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (!w->isVisibleTo(window) || isInsideComposite(w, window))
            continue;
        const auto* label = qobject_cast<QLabel*>(w);
        const bool control = label || qobject_cast<QAbstractButton*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w);
        if (!control)
            continue;
        if (label && label->text().isEmpty() && label->pixmap().isNull())
            continue;
        QSize need = w->sizeHint();
        if (qobject_cast<QLineEdit*>(w))
            need = w->minimumSizeHint();
        if (label && label->wordWrap())
            need = QSize(label->minimumSizeHint().width(), label->heightForWidth(w->width()));
        need = need.boundedTo(w->maximumSize());
        if (w->width() < need.width() || w->height() < need.height())
            problems << QStringLiteral("%1 is %2x%3, needs %4x%5")
                            .arg(nameOf(w))
                            .arg(w->width())
                            .arg(w->height())
                            .arg(need.width())
                            .arg(need.height());
        // Nothing that holds it may cut it.
        const QRect inWindow(w->mapTo(window, QPoint(0, 0)), w->size());
        for (QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
            const QRect holder(p == window ? QPoint(0, 0) : p->mapTo(window, QPoint(0, 0)),
                               p->size());
            if (!holder.contains(inWindow)) {
                problems << QStringLiteral("%1 cut by %2").arg(nameOf(w), nameOf(p));
                break;
            }
            if (p == window)
                break;
        }
    }
    return problems;
}

// One program with its windows; the owner stands in for the window a dialog
// is opened from.
struct Program {
    TestApp t;
    std::unique_ptr<QWidget> owner;
    QPointer<QWidget> window;

    QWidget* open(const WindowKind& kind, QScreen* screen) {
        if (kind.dialog) {
            owner = std::make_unique<QWidget>();
            owner->setScreen(screen);
            owner->resize(800, 560);
            owner->move(screen->availableGeometry().center() - QPoint(400, 280));
            owner->show();
            if (!QTest::qWaitForWindowExposed(owner.get()))
                return nullptr;
        }
        QWidget* w = kind.make(owner.get());
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        if (!kind.dialog) {
            w->setScreen(screen);
            w->move(screen->availableGeometry().topLeft());
        }
        window = w;
        w->show();
        return QTest::qWaitForWindowExposed(w) ? w : nullptr;
    }
    ~Program() {
        delete window;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// The controls in the order Tab reaches them, starting from the first.
QStringList tabStops(QWidget* window) {
    QWidget* first = window->nextInFocusChain();
    while (first != window &&
           (!(first->focusPolicy() & Qt::TabFocus) || !first->isVisibleTo(window) ||
            !first->isEnabled() || first->focusProxy()))
        first = first->nextInFocusChain();
    first->setFocus(Qt::TabFocusReason);
    QStringList order;
    QWidget* start = QApplication::focusWidget();
    QWidget* current = start;
    for (int i = 0; i < 80 && current; ++i) {
        // A control made of parts (a web view, a box) is reported by its name.
        QWidget* named = current;
        while (named->parentWidget() && named != window &&
               (named->objectName().isEmpty() || named->objectName().startsWith("qt_") ||
                isInsideComposite(named, window)))
            named = named->parentWidget();
        order << nameOf(named);
        // A web page takes Tab for its own links and fields.
        if (isInsideComposite(current, window) && named->inherits("Browser"))
            break;
        QTest::keyClick(current, Qt::Key_Tab);
        // A web page hands the focus on when Tab leaves its last element,
        // a moment later.
        QWidget* const from = current;
        const bool moved =
            QTest::qWaitFor([from] { return QApplication::focusWidget() != from; }, 5000);
        Q_UNUSED(moved); // a focus that stays is reported below
        current = QApplication::focusWidget();
        if (current == from) {
            order << QStringLiteral("(Tab stays in %1)").arg(nameOf(from));
            break;
        }
        if (current == start)
            break;
    }
    return order;
}

} // namespace

class TestWindowFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsSet("VARNELLE_SCREENSHOTS"))
            return;
        for (const Screen& s : Screens)
            QVERIFY2(screenNamed(QString::fromLatin1(s.name)), s.name);
        QCOMPARE(screenNamed("1920x1080@150%")->availableGeometry().size(), QSize(1280, 720));
    }

    void fitsTheScreen_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<int>("pointSize");
        for (const WindowKind& k : windowKinds()) {
            for (const Screen& s : Screens) {
                for (int points : {9, 12})
                    QTest::addRow("%s %s %dpt", k.name, s.name, points)
                        << QString::fromLatin1(k.name) << QString::fromLatin1(s.name) << points;
            }
        }
    }
    void fitsTheScreen() {
        QFETCH(QString, window);
        QFETCH(QString, screen);
        QFETCH(int, pointSize);
        const QFont before = QApplication::font();
        QFont font = before;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        {
            Program p;
            QScreen* s = screenNamed(screen);
            QWidget* w = p.open(*kindNamed(window), s);
            QVERIFY(w);
            QCOMPARE(w->screen(), s);
            QTRY_VERIFY2(layoutProblems(w).isEmpty(),
                         qPrintable(layoutProblems(w).join(QLatin1String("; "))));
            // The least size the window allows cuts nothing either.
            if (w->minimumSize() != w->maximumSize()) {
                w->resize(w->minimumSize());
                QTRY_VERIFY2(layoutProblems(w).isEmpty(),
                             qPrintable(layoutProblems(w).join(QLatin1String("; "))));
            }
        }
        QApplication::setFont(before);
    }

    void designedSizeWhereItFits_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QSize>("designed");
        QTest::newRow("search") << "fWebSearch" << QSize(1100, 760);
        QTest::newRow("start-up") << "fCover" << QSize(420, 300);
        QTest::newRow("cache viewer") << "fIEcache" << QSize(900, 600);
    }
    void designedSizeWhereItFits() {
        QFETCH(QString, window);
        QFETCH(QSize, designed);
        {
            Program big;
            QWidget* w = big.open(*kindNamed(window), screenNamed("1920x1080"));
            QVERIFY(w);
            QCOMPARE(w->size(), designed);
        }
        if (window == QLatin1String("fWebSearch")) {
            // On the laptop screen it is lower, and within the screen.
            Program laptop;
            QWidget* small = laptop.open(*kindNamed(window), screenNamed("1366x768"));
            QVERIFY(small);
            QVERIFY(small->height() < designed.height());
            QVERIFY(small->screen()->availableGeometry().contains(small->frameGeometry()));
        }
    }

    void dialogsOpenCentredOverTheirOwner() {
        for (const WindowKind& k : windowKinds()) {
            if (!k.dialog)
                continue;
            Program p;
            QWidget* w = p.open(k, screenNamed("1920x1080"));
            QVERIFY(w);
            const QPoint offset = w->frameGeometry().center() - p.owner->frameGeometry().center();
            // Before a window is shown its frame is not known: a title bar is
            // assumed, which the test platform does not draw.
            QVERIFY2(offset.manhattanLength() <= 24, k.name);
        }
    }

    void mainWindowsComeBackWhereTheUserLeftThem() {
        TestApp t;
        const QRect area = screenNamed("1920x1080")->availableGeometry();
        QPointer<fWebSearch> w = new fWebSearch;
        w->setScreen(screenNamed("1920x1080"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->resize(1000, 700);
        w->move(area.topLeft() + QPoint(150, 90));
        QTRY_COMPARE(w->size(), QSize(1000, 700));
        const QPoint place = w->pos();
        w->hide();
        delete w;

        w = new fWebSearch;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->size(), QSize(1000, 700));
        QCOMPARE(w->pos(), place);
        delete w;
    }

    // A place kept from a larger screen, or a window left past an edge,
    // comes back within the screen.
    void storedPlacesComeBackWithinTheScreen_data() {
        QTest::addColumn<QString>("window");
        QTest::newRow("download window") << "fFileDownload";
        QTest::newRow("search window") << "fWebSearch";
    }
    void storedPlacesComeBackWithinTheScreen() {
        QFETCH(QString, window);
        TestApp t;
        QScreen* laptop = screenNamed("1366x768");
        // The resolution matches the screen, the place does not fit it.
        WindowPlacement p;
        p.left = Twips::fromPixels(900);
        p.top = Twips::fromPixels(500);
        p.width = Twips::fromPixels(1300);
        p.height = Twips::fromPixels(740);
        WriteWindowPlacement(t.settings(), window, p, ScreenResolutionText(1366 * 15, 768 * 15));
        std::unique_ptr<QWidget> w(window == QLatin1String("fWebSearch")
                                       ? static_cast<QWidget*>(new fWebSearch)
                                       : new fFileDownload);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->setScreen(laptop);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(!w->isMaximized());
        QVERIFY2(laptop->availableGeometry().contains(w->frameGeometry()),
                 qPrintable(QDebug::toString(w->frameGeometry())));
    }

    void startUpWindowComesBackWithinTheScreen() {
        TestApp t;
        fCover cover;
        cover.setScreen(screenNamed("1366x768"));
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        const QRect area = cover.screen()->availableGeometry();
        QVERIFY(area.contains(cover.frameGeometry()));
        // Centred, but for the title bar assumed before it is shown.
        QVERIFY((cover.frameGeometry().center() - area.center()).manhattanLength() <= 24);
        // Left with its status line past the bottom edge, then hidden while
        // the main windows are open.
        cover.move(area.left() + 20, area.bottom() - 10);
        cover.hide();
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        QVERIFY(area.contains(cover.frameGeometry()));
    }

    void fitWithin_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("expected");
        const QRect area(0, 30, 1366, 738); // a panel at the top
        QTest::newRow("inside stays") << QRect(100, 100, 400, 300) << QRect(100, 100, 400, 300);
        QTest::newRow("under the panel") << QRect(100, 0, 400, 300) << QRect(100, 30, 400, 300);
        QTest::newRow("past the bottom")
            << QRect(100, 700, 400, 300) << QRect(100, 768 - 300, 400, 300);
        QTest::newRow("past the right") << QRect(1300, 40, 400, 300) << QRect(966, 40, 400, 300);
        QTest::newRow("left of the screen") << QRect(-50, 40, 400, 300) << QRect(0, 40, 400, 300);
        QTest::newRow("taller than the screen")
            << QRect(100, 10, 1100, 790) << QRect(100, 30, 1100, 738);
        QTest::newRow("larger both ways") << QRect(-10, -10, 2000, 1200) << area;
    }
    void fitWithin() {
        QFETCH(QRect, frame);
        QFETCH(QRect, expected);
        QCOMPARE(FitWithin(frame, QRect(0, 30, 1366, 738)), expected);
    }

    void tabOrder_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("start-up") << "fCover" << QStringList{"Command1", "Command3"};
        QTest::newRow("options") << "fOption"
                                 << QStringList{"Option2(下载方式二 (支持HTTP，多线程下载))",
                                                "Check1",
                                                "Text6",
                                                "Text8",
                                                "Text1",
                                                "Text2",
                                                "Check2",
                                                "OptionIE(IE9)",
                                                "Command1",
                                                "Command2"};
        QTest::newRow("save folder")
            << "fSeleFileSavePath" << QStringList{"Combo1", "Command1", "Option2(文章标题名称)",
                                                  "Combo2", "Command2", "Command3"};
        QTest::newRow("address replacement")
            << "UrlReplace" << QStringList{"Text1", "Text2", "Command1", "Command2"};
        QTest::newRow("copy tool") << "Form_Copy_Move"
                                   << QStringList{"Combo1", "Command3",
                                                  "Option1_4(文件大小和修改时间均相同：覆盖；否则："
                                                  "自动重命名)",
                                                  "Command1", "Command2"};
        QTest::newRow("cache viewer")
            << "fIEcache"
            << QStringList{"ListView1", "ListView2", "ListView3", "Command1", "Command7",
                           "Command6",  "Command2",  "Command3",  "Command4"};
        QTest::newRow("about") << "frmAbout"
                               << QStringList{"Text1", "Command1", "cmdOK", "cmdSysInfo"};
        QTest::newRow("search") << "fWebSearch"
                                // The page comes last: the web engine makes its widget when the
                                // first page loads, and Tab leaves the page for the history row.
                                << QStringList{"Combo1",   "Command3",  "Command1",   "PicBar",
                                               "Check1",   "Check2",    "Check3",     "Check4",
                                               "Combo2",   "Command9",  "Command4",   "Command2",
                                               "Command7", "ListView1", "WebBrowser1"};
        QTest::newRow("download") << "fFileDownload"
                                  << QStringList{"Command26",       "Combo1",   "Combo2",
                                                 "Option3(重命名)", "Command4", "Command31",
                                                 "Check4",          "Check5",   "Check6",
                                                 "Check3",          "Combo4",   "Command1",
                                                 "ListView3"};
    }
    void tabOrder() {
        QFETCH(QString, window);
        QFETCH(QStringList, expected);
        Program p;
        // Options chosen, so that Tab must find the checked one of each group.
        app().DownloadMode = 2;
        app().BrowserEmulationVersion = QStringLiteral("IE9");
        QWidget* w = p.open(*kindNamed(window), screenNamed("1920x1080"));
        QVERIFY(w);
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        // Tab goes round: the list starts at the first expected stop.
        QStringList stops = tabStops(w);
        const qsizetype first = stops.indexOf(expected.first());
        if (first > 0)
            stops = stops.mid(first) + stops.first(first);
        QCOMPARE(stops.join(QLatin1Char(' ')), expected.join(QLatin1Char(' ')));
    }

    void everyControlHasAName_data() {
        QTest::addColumn<QString>("window");
        for (const WindowKind& k : windowKinds())
            QTest::newRow(k.name) << QString::fromLatin1(k.name);
    }
    void everyControlHasAName() {
        QFETCH(QString, window);
        Program p;
        QWidget* w = p.open(*kindNamed(window), screenNamed("1920x1080"));
        QVERIFY(w);
        // The login panel of the download window is shown when it is used.
        if (auto* download = qobject_cast<fFileDownload*>(w))
            download->PicWebBK->show();
        QStringList unnamed;
        for (QWidget* c : w->findChildren<QWidget*>()) {
            if (c->focusPolicy() == Qt::NoFocus || !c->isVisibleTo(w) || isInsideComposite(c, w))
                continue;
            if (c->inherits("QWebEngineView") || c->objectName() == QLatin1String("PicBar") ||
                qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                qobject_cast<QLineEdit*>(c) || qobject_cast<QAbstractItemView*>(c) ||
                c->inherits("QPlainTextEdit")) {
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
                if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                    unnamed << nameOf(c);
            }
        }
        QCOMPARE(unnamed, QStringList());
    }

    void tabEntersAGroupAtItsCheckedOption() {
        TestApp t;
        app().BrowserEmulationVersion = QStringLiteral("IE11");
        fOption dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.Check2->setFocus(Qt::TabFocusReason);
        QTest::keyClick(dialog.Check2, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.OptionIE.at(4));
        // The arrows move within the group and choose; Tab then leaves it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), dialog.OptionIE.at(3));
        QVERIFY(dialog.OptionIE.at(3)->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.Command1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), dialog.OptionIE.at(3));
    }

    void listColumnsFitOnFirstShowAndKeepTheUsersWidths() {
        TestApp t;
        const auto open = [] {
            auto* w = new fWebSearch;
            w->setScreen(screenNamed("1366x768"));
            w->show();
            return w;
        };
        QPointer<fWebSearch> w = open();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->加入LV1(QString(300, QLatin1Char('T')), QStringLiteral("http://127.0.0.1:9/a"),
                   QStringLiteral("http://127.0.0.1:9/list"), QStringLiteral("pdf"),
                   QStringLiteral("/tmp/"), QStringLiteral("SD2"));
        QHeaderView* header = w->ListView1->header();
        // Every column in view without scrolling, none narrower than its header.
        QTRY_VERIFY(header->length() <= w->ListView1->viewport()->width());
        for (int c = 0; c < ArticleListModel::ColumnCount; ++c)
            QVERIFY(header->sectionSize(c) >= header->sectionSizeHint(c));

        // The user drags the state column wider.
        const int state = ArticleListModel::StateColumn;
        const int edge = header->sectionViewportPosition(state) + header->sectionSize(state) - 1;
        const int wanted = header->sectionSize(state) + 60;
        const QPoint from(edge, header->height() / 2);
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(from + QPoint(60, 0)),
                         header->viewport()->mapToGlobal(QPointF(from + QPoint(60, 0))),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(header->viewport(), &drag);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, from + QPoint(60, 0));
        QCOMPARE(header->sectionSize(state), wanted);
        QVERIFY(w->close());
        delete w;

        w = open();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_COMPARE(w->ListView1->header()->sectionSize(state), wanted);
        delete w;
    }

    // Not a check: with VARNELLE_SCREENSHOTS naming a folder, and a real
    // display, each window is photographed on the whole screen.
    void screenshots() {
        const QString folder = qEnvironmentVariable("VARNELLE_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("VARNELLE_SCREENSHOTS is not set");
        QDir().mkpath(folder);
        QScreen* screen = QGuiApplication::primaryScreen();
        for (const WindowKind& k : windowKinds()) {
            Program p;
            QWidget* w = p.open(k, screen);
            QVERIFY(w);
            if (auto* search = qobject_cast<fWebSearch*>(w)) {
                for (int i = 1; i <= 12; ++i)
                    search->加入LV1(QStringLiteral("Effects of temperature on the yield of "
                                                   "crops in field trials, part %1")
                                        .arg(i),
                                    QStringLiteral("https://www.sciencedirect.com/a/%1").arg(i),
                                    QStringLiteral("https://www.sciencedirect.com/search"),
                                    QStringLiteral("pdf"), QStringLiteral("/home/user/论文/"),
                                    QStringLiteral("SD2"));
                search->updateCountLabel();
                // As after a restart, when the kept rows are there at the first show.
                FitColumnsToView(search->ListView1, ArticleListModel::TitleColumn);
            }
            if (auto* download = qobject_cast<fFileDownload*>(w)) {
                for (int i = 1; i <= 12; ++i)
                    download->AddDownloadItem(
                        QStringLiteral("https://www.sciencedirect.com/pdf/%1.pdf").arg(i),
                        QStringLiteral("Effects of temperature on the yield of crops %1").arg(i),
                        QStringLiteral("pdf"), QStringLiteral("/home/user/论文/"), QString());
                download->updateRowCountLabel();
                FitColumnsToView(download->ListView3, 0);
            }
            QApplication::setActiveWindow(w);
            // A display without a window manager may not activate it: it is
            // photographed all the same.
            const bool active = QTest::qWaitForWindowActive(w);
            Q_UNUSED(active);
            QTRY_VERIFY2(layoutProblems(w).isEmpty(),
                         qPrintable(layoutProblems(w).join(QLatin1String("; "))));
            QVERIFY(screen->grabWindow(0).save(folder + QLatin1Char('/') + QLatin1String(k.name) +
                                               QStringLiteral(".png")));
        }
    }

    void stripesKeepTextReadableUnderADarkPalette() {
        TestApp t;
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        QApplication::setPalette(dark);
        QTreeView list;
        PaintListStripes(&list);
        const QPalette p = list.palette();
        for (QPalette::ColorRole back : {QPalette::Base, QPalette::AlternateBase})
            QVERIFY(qAbs(p.color(back).lightness() - p.color(QPalette::Text).lightness()) > 120);
        QApplication::setPalette(before);
        QTreeView light;
        PaintListStripes(&light);
        QCOMPARE(light.palette().color(QPalette::AlternateBase), QColor(231, 248, 237));
        QCOMPARE(light.palette().color(QPalette::Base), QColor(Qt::white));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("VARNELLE_SCREENSHOTS")) {
        // On the display given (Xvfb), as a researcher sees it.
        QApplication app(argc, argv);
        TestWindowFit test;
        return QTest::qExec(&test, argc, argv);
    }
    // Four screens side by side, for the offscreen platform's configuration
    // file; the scale of a screen is its dots per inch over 96.
    QString config = QStringLiteral(R"({"synchronousWindowSystemEvents": false,
        "windowFrameMargins": true, "screens": [)");
    int x = 0;
    for (const Screen& s : Screens) {
        if (x > 0)
            config += QLatin1Char(',');
        config += QStringLiteral(R"({"name": "%1", "x": %2, "y": 0, "width": %3, "height": %4,
            "logicalDpi": %5, "logicalBaseDpi": 96, "dpr": 1})")
                      .arg(QLatin1String(s.name))
                      .arg(x)
                      .arg(s.width)
                      .arg(s.height)
                      .arg(s.dpi);
        x += s.width;
    }
    config += QStringLiteral("]}");
    const QString file =
        QDir::tempPath() +
        QStringLiteral("/varnelle-screens-%1.json").arg(QCoreApplication::applicationPid());
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(config.toUtf8()) < 0)
            return 2;
    }
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file).toUtf8());
    QApplication app(argc, argv);
    QFile::remove(file);
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowfit.moc"
