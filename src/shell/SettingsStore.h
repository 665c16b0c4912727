#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user store of text values, addressed by section and key under the
// application name "Varnelle". Reading never fails: a missing value yields the
// default. Every write reaches the disk at once.
//
// The typed readers below know each setting's default and its valid range; a
// stored value that is not a number, or out of range, reads as the default or
// the nearest valid value, so garbage in the file never reaches the program.
class SettingsStore {
public:
    SettingsStore();
    // A store in an explicit file (tests and tools); the normal store lives in
    // ~/.config/Varnelle/Varnelle.conf.
    explicit SettingsStore(const QString& fileName);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString read(const QString& section, const QString& key, const QString& defaultValue) const;
    QString read(const QString& section, const QString& key, int defaultValue) const;
    void write(const QString& section, const QString& key, const QString& value);
    void write(const QString& section, const QString& key, int value);

    // An integer setting: the default when the text is not a whole number,
    // else the number clamped to [min, max].
    int readInt(const QString& section, const QString& key, int defaultValue, int min,
                int max) const;

    // --- "设置" ---
    QString saveFolder() const;   // "下载文件保存路径"
    double maxFileSizeMB() const; // "文件最大值"
    int promptSaveFolder() const; // "提取网页信息时提示下载保存路径", 0 or 1
    int downloadMode() const;     // "下载方式", 1 or 2
    int proxyEnabled() const;     // "代理服务器有效", 0 or 1
    QString proxyAddress() const; // "代理服务器网址", trimmed
    QString proxyPort() const;    // "代理服务器端口", trimmed
    // "等待网页验证分钟": how long a run waits for a person to pass a robot
    // check before it stops, RobotCheckWaitDefault; whole minutes in
    // [RobotCheckWaitMin, RobotCheckWaitMax].
    int robotCheckWaitMinutes() const;
    static constexpr int RobotCheckWaitDefault = 10;
    static constexpr int RobotCheckWaitMin = 1;
    static constexpr int RobotCheckWaitMax = 1440;
    // --- "下载" ---
    int threadIndex() const; // "线程", 0..5
    // The download window's own choices, kept when they change:
    int pauseIndex() const;   // "两个文件下载间隔": index of Combo2 = seconds, 0..600
    int soundPrompts() const; // "声音提示": Check6, 0 or 1
    // --- "专利下载" ---
    QString duplicatePolicy() const; // "重复文件名设置": "跳过", "覆盖" or "重命名"
    // --- "fWebSearch" ---
    int delayIndex() const;   // "combo2", 0..60
    QString web1Url() const;  // "Web1Url", trimmed
    QString otherUrl() const; // "otherUrl"

    QString fileName() const;

    static QString defaultSaveFolder();

private:
    std::unique_ptr<QSettings> m_settings;
};

// Section and key names used in more than one place.
namespace SettingsKeys {
inline const QString SectionSettings = QStringLiteral("设置");
inline const QString SaveFolder = QStringLiteral("下载文件保存路径");
inline const QString MaxFileSize = QStringLiteral("文件最大值");
inline const QString PromptSaveFolder = QStringLiteral("提取网页信息时提示下载保存路径");
inline const QString FileNamePattern = QStringLiteral("文件命名格式");
inline const QString DownloadMode = QStringLiteral("下载方式");
inline const QString ProxyEnabled = QStringLiteral("代理服务器有效");
inline const QString ProxyAddress = QStringLiteral("代理服务器网址");
inline const QString ProxyPort = QStringLiteral("代理服务器端口");
inline const QString RobotCheckWait = QStringLiteral("等待网页验证分钟");
inline const QString SectionDownload = QStringLiteral("下载");
inline const QString Threads = QStringLiteral("线程");
inline const QString PauseBetweenFiles = QStringLiteral("两个文件下载间隔");
inline const QString SoundPrompts = QStringLiteral("声音提示");
inline const QString SectionPatent = QStringLiteral("专利下载");
inline const QString DuplicatePolicy = QStringLiteral("重复文件名设置");
inline const QString SectionWebSearch = QStringLiteral("fWebSearch");
inline const QString Delay = QStringLiteral("combo2");
inline const QString Web1Url = QStringLiteral("Web1Url");
inline const QString OtherUrl = QStringLiteral("otherUrl");
inline const QString SectionFileDownload = QStringLiteral("fFileDownload");
inline const QString Resolution = QStringLiteral("分辨率");
inline const QString Top = QStringLiteral("上");
inline const QString Left = QStringLiteral("左");
inline const QString Width = QStringLiteral("宽");
inline const QString Height = QStringLiteral("高");
inline const QString SectionCopyMove = QStringLiteral("Form_Copy_Move");
inline const QString TargetFolder = QStringLiteral("目的文件夹");
inline const QString OpIndex = QStringLiteral("OpIndex");
} // namespace SettingsKeys
