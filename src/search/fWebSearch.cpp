#include "search/fWebSearch.h"

#include "shell/AppValues.h"
#include "shell/WindowFlow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

fWebSearch::fWebSearch(QWidget* parent) : QMainWindow(parent) {
    setObjectName(WindowNames::WebSearch);
    setWindowTitle(QStringLiteral("ScienceDirect数据检索分析-") + Dialogs::applicationTitle());

    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    Label4 = new QLabel(QStringLiteral("限速延时：        秒"), central);
    Label4->setObjectName(QStringLiteral("Label4"));
    Combo2 = new QComboBox(central);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    for (int s = 0; s <= 60; ++s)
        Combo2->addItem(QString::number(s));
    Combo2->setCurrentIndex(10);
    Combo2->setCurrentIndex(app().settings().delayIndex());
    row->addWidget(Label4);
    row->addWidget(Combo2);
    row->addStretch();
    setCentralWidget(central);
    resize(1000, 700);
    setMinimumSize(640, 480);
}

QString fWebSearch::documentAddress() const {
    return {};
}

void fWebSearch::closeEvent(QCloseEvent* event) {
    if (runActive()) {
        app().dialogs().error(this, QStringLiteral("正在工作，停止以后才能退出！"));
        event->ignore();
        return;
    }
    AppValues& v = app();
    v.settings().write(SettingsKeys::SectionWebSearch, SettingsKeys::Delay, Combo2->currentIndex());
    if (!v.flow().IsFormLoaded(WindowNames::FileDownload))
        v.flow().show(WindowNames::Cover);
    const QString address = documentAddress();
    if (!address.isEmpty())
        v.settings().write(SettingsKeys::SectionWebSearch, SettingsKeys::Web1Url, address);
    WindowFlow::markUnloaded(this);
    event->accept();
}
