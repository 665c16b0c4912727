#include "tools/Form_Copy_Move.h"

#include "platform/AppPaths.h"
#include "platform/Wait.h"
#include "shell/AppValues.h"
#include "shell/BrowserCacheCommands.h"
#include "shell/FileNames.h"
#include "shell/SettingsStore.h"
#include "shell/WindowFlow.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"
#include "shell/fSeleFileSavePath.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString StartCaption = QStringLiteral("开始");
const QString StopCaption = QStringLiteral("停止");

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString withoutSlash(const QString& folder) {
    QString f = folder;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    return f;
}

// A destination must be an absolute folder: a relative one would depend on
// where the program was started.
QString ensureDestination(const QString& text) {
    const QString full = LocalPath(text);
    if (!full.startsWith(QLatin1Char('/')))
        return {};
    return EnsureFolder(full);
}

} // namespace

Form_Copy_Move::Form_Copy_Move(QWidget* parent, const QString& listFile)
    : QDialog(parent), m_listFile(listFile.isEmpty() ? SaveListFilePath() : listFile) {
    setObjectName(WindowNames::CopyMove);
    setModal(true);

    Label1 = named(new QLabel(QStringLiteral("目的文件夹："), this), QStringLiteral("Label1"));
    Combo1 = named(new QComboBox(this), QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setMinimumWidth(360);
    Command3 = named(new QPushButton(QStringLiteral("浏览"), this), QStringLiteral("Command3"));
    Command3->setAutoDefault(false);
    Frame1 = named(new QGroupBox(QStringLiteral("如果同名文件已经存在"), this),
                   QStringLiteral("Frame1"));
    const std::array<QString, 6> captions = {
        QString(),
        QStringLiteral("跳过"),
        QStringLiteral("覆盖"),
        QStringLiteral("自动重命名"),
        QStringLiteral("文件大小和修改时间均相同：覆盖；否则：自动重命名"),
        QStringLiteral("文件大小相同：覆盖；否则：自动重命名"),
    };
    auto* rules = new QVBoxLayout(Frame1);
    for (int i = 5; i >= 1; --i) {
        Option1[i] =
            named(new QRadioButton(captions[i], Frame1), QStringLiteral("Option1_%1").arg(i));
        rules->addWidget(Option1[i]);
        connect(Option1[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                m_ruleIndex = i;
        });
    }
    Label4 = named(new QLabel(QStringLiteral("当前文件："), this), QStringLiteral("Label4"));
    Label3 = named(new QLabel(this), QStringLiteral("Label3"));
    Label2 = named(new QLabel(QStringLiteral("进度;"), this), QStringLiteral("Label2"));
    ProgressBar1 = named(new QProgressBar(this), QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);
    Command1 = named(new QPushButton(StartCaption, this), QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = named(new QPushButton(QStringLiteral("关闭"), this), QStringLiteral("Command2"));
    Command2->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Combo1, 0, 1);
    grid->addWidget(Command3, 0, 2);
    grid->addWidget(Frame1, 1, 0, 1, 3);
    grid->addWidget(Label4, 2, 0);
    grid->addWidget(Label3, 2, 1, 1, 2);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(ProgressBar1, 3, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    LabelFor(Label1, Combo1);
    NameAfterCaption(ProgressBar1, Label2->text());
    QList<QAbstractButton*> rulesGroup;
    for (int i = 5; i >= 1; --i)
        rulesGroup << Option1[i];
    ManageWindowPlacement(this, QSize(), PlacementMemory::Size);

    connect(Command3, &QPushButton::clicked, this, &Form_Copy_Move::browse);
    connect(Command1, &QPushButton::clicked, this, [this] { 执行(true); });
    connect(Command2, &QPushButton::clicked, this, &QWidget::close);

    // Loading.
    // The dialog only copies, so the copy caption replaces the designed one at
    // once; the opener then names the number of files.
    setWindowTitle(QStringLiteral("复制文件..."));
    LoadFolderList(Combo1, m_listFile);
    SettingsStore& settings = app().settings();
    m_destination = withSlash(settings.read(SettingsKeys::SectionCopyMove,
                                            SettingsKeys::TargetFolder, AppPaths::programFolder()));
    WidenDropDown(Combo1);
    Combo1->setEditText(m_destination);
    m_ruleIndex = settings.readInt(SettingsKeys::SectionCopyMove, SettingsKeys::OpIndex, 4, 1, 5);
    Option1[m_ruleIndex]->setChecked(true);
    TabToCheckedOption(rulesGroup);
}

Form_Copy_Move::~Form_Copy_Move() = default;

void Form_Copy_Move::browse() {
    QString folder = BrowseForFolder(this, Combo1->currentText(),
                                     QStringLiteral("请选择要浏览的文件夹:"), false);
    Combo1->setEditText(withSlash(folder));
}

bool Form_Copy_Move::keepGoing() {
    Wait::processEventsOnce();
    return m_running;
}

void Form_Copy_Move::执行(bool showMessage) {
    // A click during a run only stops it, whatever the folder box now holds.
    if (m_running) {
        Command1->setText(StartCaption);
        m_running = false;
        return;
    }
    AppValues& v = app();
    const QString folder = ensureDestination(Combo1->currentText());
    if (folder.isEmpty()) {
        Combo1->setEditText(QString());
        v.dialogs().error(this, QStringLiteral("创建文件夹出错！"));
        return;
    }
    m_destination = withSlash(folder);
    Combo1->setEditText(m_destination);
    v.settings().write(SettingsKeys::SectionCopyMove, SettingsKeys::TargetFolder, m_destination);
    v.settings().write(SettingsKeys::SectionCopyMove, SettingsKeys::OpIndex,
                       QString::number(m_ruleIndex));

    // The list is shared with the save-folder dialog, which keeps folders
    // without their trailing "/".
    const QString listed = withoutSlash(m_destination.trimmed());
    bool known = false;
    for (int i = 0; i < Combo1->count() && !known; ++i)
        known = withoutSlash(Combo1->itemText(i).trimmed()) == listed;
    if (!known) {
        const QString text = Combo1->currentText();
        Combo1->addItem(listed);
        Combo1->setEditText(text);
    }
    SaveFolderList(Combo1, m_listFile);
    Label3->clear();

    for (qsizetype i = 0; i < CopyFileList.size();) {
        if (CopyFileList.at(i).exists())
            ++i;
        else
            CopyFileList.removeAt(i);
    }
    if (CopyFileList.isEmpty())
        return;

    // The run walks its own copy of the list: a click meanwhile may change the window.
    const QList<CopySource> files = CopyFileList;
    const QString destination = m_destination;
    const auto rule = ExistingFileRule(m_ruleIndex);
    Command1->setText(StopCaption);
    m_running = true;
    ProgressBar1->setValue(0);
    ProgressBar1->setMaximum(int(files.size()) + 1);

    QPointer<Form_Copy_Move> self(this);
    const KeepGoing going = [self] { return self && self->keepGoing(); };
    // Files are put in place a batch at a time; the files of a stopped run
    // that were already written whole still take their names.
    CopyBatch batch(destination, rule);
    int failed = 0;
    const auto countFailed = [&failed](const QList<CopyOutcome>& outcomes) {
        failed += int(outcomes.count(CopyOutcome::Failed));
    };
    for (qsizetype i = 0; i < files.size() && m_running; ++i) {
        ProgressBar1->setValue(int(i) + 1);
        const CopySource& source = files.at(i);
        QString extension;
        QString base;
        SplitPath(source.targetName(), extension, base);
        Label3->setText(JoinExtension(base, extension));
        if (!going())
            break;
        const std::optional<CopyOutcome> outcome = batch.add(source, going);
        if (!self)
            return;
        if (outcome == CopyOutcome::Failed)
            ++failed;
        if (batch.full())
            countFailed(batch.commit());
    }
    countFailed(batch.commit());
    if (!self)
        return;
    finishRun(showMessage && !m_closeWhenStopped, failed);
}

void Form_Copy_Move::finishRun(bool showMessage, int failed) {
    ProgressBar1->setValue(0);
    Label3->clear();
    Command1->setText(StartCaption);
    m_running = false;
    if (showMessage && failed == 0)
        app().dialogs().information(this, QStringLiteral("复制文件完成！"));
    else if (showMessage)
        app().dialogs().error(this,
                              QStringLiteral("复制文件完成！其中 %1 个文件复制失败！").arg(failed));
    if (m_closeWhenStopped)
        close();
}

void Form_Copy_Move::done(int result) {
    // Closing during a run stops it first; the window goes when the run has
    // removed its unfinished file.
    if (m_running) {
        m_closeWhenStopped = true;
        m_running = false;
        Command1->setText(StartCaption);
        return;
    }
    WindowFlow::markUnloaded(this);
    QDialog::done(result);
}

void Form_Copy_Move::closeEvent(QCloseEvent* event) {
    if (m_running) {
        m_closeWhenStopped = true;
        m_running = false;
        Command1->setText(StartCaption);
        event->ignore();
        return;
    }
    WindowFlow::markUnloaded(this);
    QDialog::closeEvent(event);
}
