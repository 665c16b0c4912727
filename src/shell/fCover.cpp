#include "shell/fCover.h"

#include "net/uXMLHTTP.h"
#include "platform/OsInfo.h"
#include "platform/Wait.h"
#include "shell/AppValues.h"
#include "shell/WindowFlow.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"

#include "VarnelleVersion.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

QString DetectOsBitness() {
    return OsInfo::machineIs64Bit(OsInfo::machine()) ? QStringLiteral("64") : QStringLiteral("32");
}

fCover::fCover(QWidget* parent) : QWidget(parent) {
    setObjectName(WindowNames::Cover);
    setWindowIcon(QIcon(QStringLiteral(":/varnelle/icon.svg")));

    Image1 = named(new QLabel(this), QStringLiteral("Image1"));
    Image1->setPixmap(QIcon(QStringLiteral(":/varnelle/icon.svg")).pixmap(96, 96));
    Image1->setAlignment(Qt::AlignCenter);
    Label2 = named(new QLabel(this), QStringLiteral("Label2"));
    Label3 = named(new QLabel(QStringLiteral("最新版本："), this), QStringLiteral("Label3"));
    Label3->hide();
    Label4 = named(
        new QLabel(QStringLiteral("(该软件仅用于科研人员辅助少量下载；请不要恶意下载和大量下载！)"),
                   this),
        QStringLiteral("Label4"));
    Label4->setWordWrap(true);
    Label5 = named(new QLabel(QStringLiteral("正在加载组件，请稍候..."), this),
                   QStringLiteral("Label5"));
    Command1 =
        named(new QPushButton(QStringLiteral("资料检索下载"), this), QStringLiteral("Command1"));
    Command3 = named(new QPushButton(QStringLiteral("退出软件"), this), QStringLiteral("Command3"));
    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);
    uXMLHTTP2 = named(new uXMLHTTP(app().transport(), this), QStringLiteral("uXMLHTTP2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command3);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Image1);
    layout->addWidget(Label2, 0, Qt::AlignHCenter);
    layout->addWidget(Label3, 0, Qt::AlignHCenter);
    layout->addWidget(Label4);
    layout->addWidget(Label5, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);
    // The notice wraps into two lines at the least: Qt gives a window with a
    // wrapping caption no least size of its own, so it is set here.
    Label4->setMinimumWidth(Label4->fontMetrics().horizontalAdvance(Label4->text()) / 2 + 12);
    const int leastWidth = layout->totalMinimumSize().width();
    setMinimumSize(leastWidth, layout->totalHeightForWidth(leastWidth));
    // Opens centred on the screen (a question it asks centres over it) and
    // comes back where the user left it, within the screen.
    ManageWindowPlacement(this, QSize(420, 300));

    connect(Command1, &QPushButton::clicked, this, &fCover::openSearch);
    connect(Command3, &QPushButton::clicked, this, &QWidget::close);
    connect(Timer1, &QTimer::timeout, this, [this] {
        if (m_hooks.updateNotice)
            m_hooks.updateNotice();
    });
}

void fCover::load() {
    AppValues& v = app();
    setWindowTitle(Dialogs::applicationTitle());
    Label2->setText(QStringLiteral("版本:%1.%2.%3")
                        .arg(VARNELLE_VERSION_MAJOR)
                        .arg(VARNELLE_VERSION_MINOR)
                        .arg(VARNELLE_VERSION_PATCH));
    show();
    Wait::processEventsOnce();

    v.OsBitness = DetectOsBitness();
    if (m_hooks.afterBitness)
        m_hooks.afterBitness();
    if (m_hooks.readEmulation)
        m_hooks.readEmulation();
    v.setMaxFileSizeMB(v.settings().maxFileSizeMB());
    v.RobotCheckWaitMinutes = v.settings().robotCheckWaitMinutes();
    v.setCurrentSaveFolder(v.settings().saveFolder());

    Timer1->start();
    Label5->hide();
    offerUnfinishedDownloads();
}

QString fCover::unfinishedQuestion(int rows) {
    return QStringLiteral("上次的下载没有完成（%1条），要打开下载窗口继续吗？").arg(rows);
}

void fCover::offerUnfinishedDownloads() {
    const int rows = m_hooks.unfinishedDownloads ? m_hooks.unfinishedDownloads() : 0;
    if (rows <= 0 || !app().dialogs().question(this, unfinishedQuestion(rows)))
        return;
    // The window loads the kept list; nothing starts before "开始下载".
    hide();
    app().flow().show(WindowNames::FileDownload);
}

void fCover::openSearch() {
    hide();
    app().flow().show(WindowNames::WebSearch);
}

void fCover::closeEvent(QCloseEvent* event) {
    if (m_hooks.exitEmulationWrite)
        m_hooks.exitEmulationWrite();
    event->accept();
    app().flow().exitProgram();
}
