#include "about/frmAbout.h"

#include "shell/AppValues.h"
#include "shell/WindowFlow.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"
#include "shell/fCover.h"

#include "VarnelleFullVersion.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

QStringList SysInfoProgramNames() {
    return {QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
            QStringLiteral("gnome-system-monitor")};
}

QString FindSysInfoProgram() {
    for (const QString& name : SysInfoProgramNames()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(WindowNames::About);

    Image1 = named(new QLabel(this), QStringLiteral("Image1"));
    Image1->setPixmap(QIcon(QStringLiteral(":/varnelle/icon.svg")).pixmap(64, 64));
    lsoftname = named(new QLabel(this), QStringLiteral("lsoftname"));
    QFont nameFont = lsoftname->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    lsoftname->setFont(nameFont);
    lblVersion = named(new QLabel(this), QStringLiteral("lblVersion"));
    Text1 = named(new QPlainTextEdit(QStringLiteral("正在加载信息，请稍候...\n"), this),
                  QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setFixedHeight(Text1->fontMetrics().lineSpacing() * 4 + 12);
    Command1 = named(new QPushButton(QStringLiteral("复制信息"), this), QStringLiteral("Command1"));
    cmdOK = named(new QPushButton(QStringLiteral("确定"), this), QStringLiteral("cmdOK"));
    cmdSysInfo = named(new QPushButton(QStringLiteral("系统信息(&S)..."), this),
                       QStringLiteral("cmdSysInfo"));
    cmdOK->setDefault(true);

    auto* names = new QVBoxLayout;
    names->addWidget(lsoftname);
    names->addWidget(lblVersion);
    names->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(names, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Text1);
    layout->addLayout(buttons);
    // The system line is read under what it holds.
    NameAfterCaption(Text1, QStringLiteral("系统信息"));
    ManageWindowPlacement(this, QSize(460, 240), PlacementMemory::Size);

    connect(Command1, &QPushButton::clicked, this, &frmAbout::copyInformation);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    load();
}

void frmAbout::load() {
    const QString title = Dialogs::applicationTitle();
    setWindowTitle(QStringLiteral("关于『") + title + QStringLiteral("』 "));
    lsoftname->setText(title);
    // The build's full version, as --version says it: two builds of one
    // release tell apart, and a report names the build it came from.
    lblVersion->setText(QStringLiteral("版本 " VARNELLE_FULL_VERSION));
    Text1->setPlainText(QStringLiteral("OP:") + app().OsDisplayName);
}

void frmAbout::copyInformation() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->setText(Text1->toPlainText());
}

void frmAbout::StartSysInfo() {
    const QString program = FindSysInfoProgram();
    if (program.isEmpty() || !QProcess::startDetached(program, {}))
        app().dialogs().message(this, QStringLiteral("此时系统信息不可用"));
}

void frmAbout::done(int result) {
    QDialog::done(result);
    if (auto* cover = qobject_cast<fCover*>(app().flow().find(WindowNames::Cover)))
        cover->Timer1->start();
}
