#include "shell/fOption.h"

#include "platform/Transport.h"
#include "shell/AppValues.h"
#include "shell/BrowserEmulation.h"
#include "shell/CaptionWithGap.h"
#include "shell/WindowFlow.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"
#include "shell/fCover.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <array>
#include <cmath>

namespace {
struct VersionChoice {
    int index;
    const char* caption;
    const char* version; // the value of BrowserEmulationVersion; empty for "默认"
};
constexpr std::array<VersionChoice, 6> VersionChoices{{{0, "IE7", "IE7"},
                                                       {1, "IE8", "IE8"},
                                                       {2, "IE9", "IE9"},
                                                       {3, "IE10", "IE10"},
                                                       {4, "IE11", "IE11"},
                                                       {fOption::DefaultVersionIndex, "默认", ""}}};

// The limit as people write it: "10", "2.5", never "1e+06".
QString sizeLimitText(double mb) {
    if (std::isfinite(mb) && mb == std::floor(mb) && std::fabs(mb) < 1e15)
        return QString::number(static_cast<qint64>(mb));
    return QString::number(mb, 'g', 15);
}
} // namespace

std::optional<double> ParseSizeLimitMB(const QString& text) {
    // The settings keep the limit as a number that may have a fraction; the
    // box takes what they can hold, so a stored limit it shows is accepted.
    bool ok = false;
    const double mb = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(mb) || !(mb > 0))
        return std::nullopt;
    return mb;
}

std::optional<int> ParseRobotCheckWaitMinutes(const QString& text) {
    bool ok = false;
    const int minutes = text.trimmed().toInt(&ok);
    if (!ok || minutes < SettingsStore::RobotCheckWaitMin ||
        minutes > SettingsStore::RobotCheckWaitMax)
        return std::nullopt;
    return minutes;
}

fOption::fOption(QWidget* parent) : QDialog(parent) {
    setObjectName(WindowNames::Option);

    Label1 = named(new QLabel(QStringLiteral("下载方式："), this), QStringLiteral("Label1"));
    Option1 = named(
        new QRadioButton(QStringLiteral("下载方式一 (支持HTTP，单线程，代理服务器下载)"), this),
        QStringLiteral("Option1"));
    Option2 = named(new QRadioButton(QStringLiteral("下载方式二 (支持HTTP，多线程下载)"), this),
                    QStringLiteral("Option2"));
    Check1 =
        named(new QCheckBox(QStringLiteral("下载使用代理服务器"), this), QStringLiteral("Check1"));
    Label14 = named(new QLabel(QStringLiteral("地址："), this), QStringLiteral("Label14"));
    Text6 = named(new QLineEdit(this), QStringLiteral("Text6"));
    Label6 = named(new QLabel(QStringLiteral("(如：proxy.example.com 或者 192.168.1.1)"), this),
                   QStringLiteral("Label6"));
    Label15 = named(new QLabel(QStringLiteral("端口："), this), QStringLiteral("Label15"));
    Text8 = named(new QLineEdit(this), QStringLiteral("Text8"));
    Text8->setMaxLength(5);
    Label10 = named(new QLabel(QStringLiteral("(如：3128 或者 80 等等)"), this),
                    QStringLiteral("Label10"));
    Label2 = named(new CaptionWithGap(QStringLiteral("下载文件大小不超过：       MB"), this),
                   QStringLiteral("Label2"));
    Text1 = named(new QLineEdit(this), QStringLiteral("Text1"));
    Text1->setFixedWidth(Text1->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    Label2->setGapWidget(Text1);
    // A run nobody watches stops after this long on a robot check instead of
    // waiting for a person for ever.
    Label3 =
        named(new CaptionWithGap(QStringLiteral("等待网页验证超过：       分钟，停止下载"), this),
              QStringLiteral("Label3"));
    Text2 = named(new QLineEdit(this), QStringLiteral("Text2"));
    Text2->setFixedWidth(Text1->maximumWidth());
    Text2->setMaxLength(4);
    Label3->setGapWidget(Text2);
    Check2 = named(new QCheckBox(QStringLiteral("提取网页信息时，提示下载保存路径"), this),
                   QStringLiteral("Check2"));

    Frame1 = named(new QGroupBox(QStringLiteral("设置本软件内嵌浏览器模拟版本号"), this),
                   QStringLiteral("Frame1"));
    auto* versions = new QHBoxLayout;
    for (const VersionChoice& choice : VersionChoices) {
        auto* option = named(new QRadioButton(QString::fromUtf8(choice.caption), Frame1),
                             QStringLiteral("OptionIE"));
        option->setProperty("Index", choice.index);
        OptionIE[choice.index] = option;
        versions->addWidget(option);
    }
    versions->addStretch();
    Label9 = named(new QLabel(QStringLiteral("(修改IE版本以后，需要重启软件才能生效！)"), Frame1),
                   QStringLiteral("Label9"));
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addLayout(versions);
    frameLayout->addWidget(Label9);
    OptionIE[DefaultVersionIndex]->setChecked(true);

    Command1 = named(new QPushButton(QStringLiteral("确定"), this), QStringLiteral("Command1"));
    Command2 = named(new QPushButton(QStringLiteral("关闭"), this), QStringLiteral("Command2"));
    Command1->setDefault(true);

    auto* proxy = new QGridLayout;
    proxy->setContentsMargins(20, 0, 0, 0);
    proxy->addWidget(Label14, 0, 0);
    proxy->addWidget(Text6, 0, 1);
    proxy->addWidget(Label6, 0, 2);
    proxy->addWidget(Label15, 1, 0);
    proxy->addWidget(Text8, 1, 1);
    proxy->addWidget(Label10, 1, 2);
    proxy->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Option1);
    layout->addWidget(Option2);
    layout->addSpacing(6);
    layout->addWidget(Check1);
    layout->addLayout(proxy);
    layout->addSpacing(6);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addWidget(Check2);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    LabelFor(Label14, Text6);
    LabelFor(Label15, Text8);
    // One Tab stop per group of options, at the checked one.
    TabToCheckedOption({Option1, Option2});
    QList<QAbstractButton*> versionGroup;
    for (const VersionChoice& choice : VersionChoices)
        versionGroup << OptionIE[choice.index];
    TabToCheckedOption(versionGroup);
    ManageWindowPlacement(this, QSize(), PlacementMemory::Size);

    connect(Command1, &QPushButton::clicked, this, &fOption::confirm);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);

    load();
}

void fOption::load() {
    const AppValues& v = app();
    setWindowTitle(QStringLiteral("设置-") + Dialogs::applicationTitle());

    Check1->setChecked(v.ProxyEnabled == 1);
    Text6->setText(v.ProxyAddress);
    Text8->setText(v.ProxyPort);

    if (v.DownloadMode == 1)
        Option1->setChecked(true);
    else if (v.DownloadMode == 2)
        Option2->setChecked(true);

    Check2->setChecked(v.PromptSaveFolder == 1);
    Text1->setText(sizeLimitText(v.MaxFileSizeMB));
    Text2->setText(QString::number(v.RobotCheckWaitMinutes));

    for (const VersionChoice& choice : VersionChoices) {
        if (choice.index != DefaultVersionIndex &&
            v.BrowserEmulationVersion == QLatin1String(choice.version))
            OptionIE[choice.index]->setChecked(true);
    }
}

void fOption::confirm() {
    // A limit that is not a number above 0 would stop every download or
    // none; nothing is taken until it is put right.
    const std::optional<double> sizeLimit = ParseSizeLimitMB(Text1->text());
    if (!sizeLimit) {
        app().dialogs().error(this, QStringLiteral("下载文件大小请填写大于0的数字！"));
        Text1->setFocus();
        Text1->selectAll();
        return;
    }
    const std::optional<int> checkWait = ParseRobotCheckWaitMinutes(Text2->text());
    if (!checkWait) {
        app().dialogs().error(this,
                              QStringLiteral("等待网页验证时间请填写1到1440之间的整数（分钟）！"));
        Text2->setFocus();
        Text2->selectAll();
        return;
    }

    AppValues& v = app();
    SettingsStore& s = v.settings();
    using namespace SettingsKeys;

    if (Option1->isChecked())
        v.setDownloadMode(1);
    else if (Option2->isChecked())
        v.setDownloadMode(2);
    s.write(SectionSettings, DownloadMode, v.DownloadMode);

    const int proxyEnabled = Check1->isChecked() ? 1 : 0;
    s.write(SectionSettings, ProxyEnabled, proxyEnabled);
    const QString address = Text6->text().trimmed();
    s.write(SectionSettings, ProxyAddress, address);
    const QString port = Text8->text().trimmed();
    s.write(SectionSettings, ProxyPort, port);
    v.setProxy(proxyEnabled, address, port);
    // The transport refuses to send through such a proxy rather than go
    // direct, so the user hears of it now.
    if (proxyEnabled == 1 && !ProxySettings::fromOptions(1, address, port).networkProxy())
        v.dialogs().error(this, QStringLiteral("代理服务器网址或者端口格式不对！"));

    const int prompt = Check2->isChecked() ? 1 : 0;
    v.setPromptSaveFolder(prompt);
    s.write(SectionSettings, PromptSaveFolder, prompt);

    v.setMaxFileSizeMB(*sizeLimit);
    s.write(SectionSettings, MaxFileSize, sizeLimitText(*sizeLimit));

    v.RobotCheckWaitMinutes = *checkWait;
    s.write(SectionSettings, RobotCheckWait, *checkWait);

    v.BrowserEmulationVersion.clear();
    for (const VersionChoice& choice : VersionChoices) {
        if (OptionIE[choice.index]->isChecked())
            v.BrowserEmulationVersion = QString::fromLatin1(choice.version);
    }
    if (v.OsBitness.isEmpty())
        v.OsBitness = DetectOsBitness();
    WriteBrowserEmulation(v.registry(), v.BrowserEmulationVersion, 1, v.OsBitness.toInt());

    accept();
}
