#include "download/UrlReplace.h"

#include "download/ListCommands.h"
#include "shell/AppValues.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

UrlReplace::UrlReplace(DownloadListModel& list, QWidget* parent) : QDialog(parent), m_list(list) {
    setObjectName(QStringLiteral("UrlReplace"));
    setWindowTitle(QStringLiteral("网址批量替换"));
    setModal(true);

    Label1 =
        named(new QLabel(QStringLiteral("所有网址中的字符串："), this), QStringLiteral("Label1"));
    Text1 = named(new QLineEdit(this), QStringLiteral("Text1"));
    Label2 =
        named(new QLabel(QStringLiteral("将被全部替换为字符串："), this), QStringLiteral("Label2"));
    Text2 = named(new QLineEdit(this), QStringLiteral("Text2"));
    Command1 = named(new QPushButton(QStringLiteral("替换"), this), QStringLiteral("Command1"));
    Command2 = named(new QPushButton(QStringLiteral("取消"), this), QStringLiteral("Command2"));
    LabelFor(Label1, Text1);
    LabelFor(Label2, Text2);
    Text1->setMinimumWidth(360);
    Command1->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Text1, 1, 0);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(Text2, 3, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    grid->addLayout(buttons, 4, 0);

    ManageWindowPlacement(this, QSize(), PlacementMemory::Size);

    connect(Command1, &QPushButton::clicked, this, &UrlReplace::replaceAll);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void UrlReplace::replaceAll() {
    const QString find = Text1->text();
    if (find.trimmed().isEmpty()) {
        app().dialogs().error(this, QStringLiteral("请输入字符串！"));
        return;
    }
    ReplaceInAddresses(m_list, find, Text2->text());
    accept();
    app().dialogs().information(parentWidget(), QStringLiteral("全部网址替换完成！"));
}
