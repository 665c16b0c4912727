#include "shell/fSeleFileSavePath.h"

#include "platform/AppPaths.h"
#include "shell/AppValues.h"
#include "shell/FileNames.h"
#include "shell/SettingsStore.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

const int MaxListLines = 100;

const QString FolderNameError = QStringLiteral("文件夹名称有误！不能创建文件夹！");
const QString FolderSettingError = QStringLiteral("文件夹设置错误！");

// Only absolute folders (or "~/...") are accepted: a relative folder would
// depend on where the program was started. Nor is the root a save folder.
QString ensureFolder(QWidget* parent, const QString& path) {
    const QString full = AppPaths::expandHome(path);
    if (full == QLatin1String("/"))
        return {};
    if (!full.startsWith(QLatin1Char('/'))) {
        app().dialogs().error(parent, FolderNameError);
        return {};
    }
    const QString made = EnsureFolder(full);
    return made == QLatin1String("/") ? QString() : made;
}

QStringList comboItems(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

QString SaveListFilePath() {
    return AppPaths::programFolder() + QStringLiteral("/SaveList.dat");
}

std::optional<QStringList> ReadFolderList(const QString& filePath) {
    QFile file(filePath);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        return QStringList{};
    return ReadFolderList(file);
}

QStringList ReadFolderList(QIODevice& device) {
    QStringList folders;
    int counted = 0;
    qint64 consumed = 0;
    // Room for the longest line with its CR LF and the terminating zero
    // readLine adds, so a longer line shows as a piece without its line end.
    QByteArray buffer(FolderListMaxLineBytes + 3, Qt::Uninitialized);
    bool skipping = false; // inside a line already known to be too long
    while (consumed < FolderListMaxFileBytes) {
        const qint64 room = qMin<qint64>(buffer.size(), FolderListMaxFileBytes - consumed + 1);
        const qint64 got = device.readLine(buffer.data(), room);
        if (got <= 0)
            break;
        consumed += got;
        QByteArrayView piece(buffer.constData(), got);
        const bool lineEnded = piece.endsWith('\n');
        const bool last = !lineEnded && device.atEnd();
        if (!lineEnded && !last) {
            // Too long for a folder, or cut by the read limit: skip the rest.
            skipping = true;
            continue;
        }
        if (skipping) {
            skipping = false;
            continue;
        }
        if (piece.endsWith('\n'))
            piece.chop(1);
        if (piece.endsWith('\r'))
            piece.chop(1);
        if (piece.size() > FolderListMaxLineBytes)
            continue;
        const QString line = QString::fromUtf8(piece).trimmed();
        if (line.isEmpty())
            continue;
        if (++counted > MaxListLines)
            break;
        // Folders are told apart as the file system does: by exact name.
        if (!folders.contains(line))
            folders << line;
    }
    return folders;
}

bool WriteFolderList(const QStringList& folders, const QString& filePath) {
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray data;
    for (const QString& folder : folders)
        data += folder.toUtf8() + "\r\n";
    if (folders.isEmpty())
        data = "\r\n";
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void LoadFolderList(QComboBox* combo, const QString& filePath) {
    if (!combo)
        return;
    const std::optional<QStringList> folders = ReadFolderList(filePath);
    if (!folders)
        return;
    combo->clear();
    combo->addItems(*folders);
}

void SaveFolderList(const QComboBox* combo, const QString& filePath) {
    if (combo)
        WriteFolderList(comboItems(combo), filePath);
}

QString BrowseForFolder(QWidget* owner, const QString& start, const QString& prompt,
                        bool includeFiles) {
    Q_UNUSED(includeFiles);
    QString startPath = AppPaths::expandHome(start);
    if (startPath.trimmed().isEmpty())
        startPath = QStringLiteral("/");
    // Open the picker on the parent of the start folder, so the start folder
    // itself is in view.
    QString first = startPath;
    const int lastSlash = startPath.left(startPath.size() - 1).lastIndexOf(QLatin1Char('/'));
    if (lastSlash >= 0)
        first = startPath.left(lastSlash + 1);
    if (!QFileInfo(first).isDir())
        first = QStringLiteral("/");
    QString result = app().dialogs().pickFolder(owner, prompt, first);
    if (result.isEmpty())
        result = startPath;
    if (!result.endsWith(QLatin1Char('/')))
        result += QLatin1Char('/');
    return result;
}

fSeleFileSavePath::fSeleFileSavePath(QWidget* parent, const QString& listFile)
    : QDialog(parent), m_listFile(listFile.isEmpty() ? SaveListFilePath() : listFile) {
    setObjectName(QStringLiteral("fSeleFileSavePath"));
    setWindowTitle(QStringLiteral("选择下载保存路径－Korvane软件"));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("保存到文件夹："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setMinimumWidth(360);
    Command1 = new QPushButton(QStringLiteral("..."), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Label3 = new QLabel(QStringLiteral("保存文件名为："), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Option1 = new QRadioButton(QStringLiteral("原文件名"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option2 = new QRadioButton(QStringLiteral("文章标题名称"), this);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setChecked(true);
    Option3 = new QRadioButton(QStringLiteral("按文章信息："), this);
    Option3->setObjectName(QStringLiteral("Option3"));
    Combo2 = new QComboBox(this);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    Combo2->setEditable(true);
    Combo2->setInsertPolicy(QComboBox::NoInsert);
    Combo2->addItems(namePatternPresets());
    Combo2->setToolTip(QStringLiteral("可用：作者 年份 标题 期刊 DOI 卷 期 页码 PII 类型；"
                                      "“/”分隔子文件夹，如 期刊/年份/标题"));

    Command2 = new QPushButton(QStringLiteral("确定"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setDefault(true);
    Command3 = new QPushButton(QStringLiteral("取消"), this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Combo1, 0, 1);
    grid->addWidget(Command1, 0, 2);
    auto* naming = new QHBoxLayout;
    naming->addWidget(Option1);
    naming->addWidget(Option2);
    naming->addWidget(Option3);
    naming->addWidget(Combo2);
    naming->addStretch();
    grid->addWidget(Label3, 1, 0);
    grid->addLayout(naming, 1, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    LabelFor(Label1, Combo1);
    // "..." says nothing to a screen reader: it is read as what it opens.
    Command1->setToolTip(QStringLiteral("请选择要浏览的文件夹"));
    NameAfterCaption(Command1, Command1->toolTip());
    TabToCheckedOption({Option1, Option2, Option3});
    ManageWindowPlacement(this, QSize(), PlacementMemory::Size);

    connect(Command1, &QPushButton::clicked, this, &fSeleFileSavePath::browse);
    connect(Command2, &QPushButton::clicked, this, &fSeleFileSavePath::confirm);
    connect(Command3, &QPushButton::clicked, this, &fSeleFileSavePath::cancel);

    AppValues& v = app();
    // The pattern stands in the settings, whichever window opened the dialog.
    v.FileNamePattern =
        v.settings()
            .read(SettingsKeys::SectionSettings, SettingsKeys::FileNamePattern, QString())
            .trimmed();
    if (!v.FileNamePattern.isEmpty())
        Combo2->setEditText(v.FileNamePattern);
    if (!v.FileNamePattern.isEmpty())
        Option3->setChecked(true);
    else
        Option2->setChecked(true);
    // Typing a pattern means naming by it.
    connect(Combo2, &QComboBox::editTextChanged, this, [this] { Option3->setChecked(true); });
    if (v.UseOriginalFileName)
        Option1->setChecked(true);
    LoadFolderList(Combo1, m_listFile);
    WidenDropDown(Combo1);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    Combo1->setEditText(v.CurrentSaveFolder);
    v.SaveFolderCancelled = true;
}

QStringList fSeleFileSavePath::namePatternPresets() {
    return {QStringLiteral("作者 - 年份 - 标题"), QStringLiteral("DOI"),
            QStringLiteral("期刊/年份/标题"), QStringLiteral("年份 - 期刊 - 标题")};
}

bool fSeleFileSavePath::ask(QWidget* owner, const QString& listFile) {
    fSeleFileSavePath dialog(owner, listFile);
    dialog.exec();
    return !app().SaveFolderCancelled;
}

void fSeleFileSavePath::browse() {
    Combo1->setEditText(BrowseForFolder(this, Combo1->currentText(),
                                        QStringLiteral("请选择要浏览的文件夹:"), false));
}

void fSeleFileSavePath::confirm() {
    AppValues& v = app();
    v.UseOriginalFileName = Option1->isChecked();
    v.FileNamePattern = Option3->isChecked() ? Combo2->currentText().trimmed() : QString();
    v.settings().write(SettingsKeys::SectionSettings, SettingsKeys::FileNamePattern,
                       v.FileNamePattern);
    QString text = Combo1->currentText();
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    text = ensureFolder(this, text);
    Combo1->setEditText(text);
    if (text.isEmpty()) {
        v.dialogs().error(this, FolderSettingError);
        return;
    }
    v.setCurrentSaveFolder(text + QLatin1Char('/'));
    v.settings().write(SettingsKeys::SectionSettings, SettingsKeys::SaveFolder,
                       v.CurrentSaveFolder);
    v.SaveFolderCancelled = false;
    Combo1->addItem(text);
    SaveFolderList(Combo1, m_listFile);
    accept();
}

void fSeleFileSavePath::cancel() {
    app().SaveFolderCancelled = true;
    reject();
}
