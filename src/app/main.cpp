#include "CommandLine.h"
#include "Windows.h"

#include "about/OsName.h"
#include "about/UpdateNotice.h"

#include "download/DownloadListKeeper.h"
#include "shell/AppValues.h"
#include "shell/BrowserEmulation.h"
#include "shell/fCover.h"

#include "platform/ToolkitTranslations.h"

#include "VarnelleVersion.h"

#include <QApplication>
#include <QIcon>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (const auto answered = AnswerCommandLine(argc, argv))
        return *answered;
    // Chromium refuses to start its sandbox as root; the embedded browser then
    // runs without it, as the platform's browser layer expects.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    LoadToolkitTranslations(application);
    QApplication::setApplicationName(QStringLiteral("Varnelle"));
    QApplication::setOrganizationName(QStringLiteral("Varnelle"));
    // Wayland desktops match windows to the installed desktop entry by this
    // name, for the dock's icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.varnelle.Varnelle"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/varnelle/icon.svg")));
    QApplication::setQuitOnLastWindowClosed(false);

    AppValues values;
    values.keptLists().open();
    registerWindows();

    auto* cover = new fCover;
    cover->setAttribute(Qt::WA_DeleteOnClose);
    fCover::Hooks hooks;
    hooks.afterBitness = [] {
        AppValues& v = app();
        v.OsDisplayName = OsDisplayNameFor(ReadOsName(), v.OsBitness);
    };
    hooks.readEmulation = [] { LoadBrowserEmulationVersion(app().registry()); };
    hooks.exitEmulationWrite = [] { ExitBrowserEmulationStep(app().registry()); };
    auto* notice = new UpdateNotice(cover, QString::fromUtf8(VARNELLE_UPDATE_URL),
                                    QString::fromUtf8(VARNELLE_DOWNLOAD_PAGE));
    hooks.updateNotice = [notice] { notice->start(); };
    hooks.unfinishedDownloads = [] {
        return DownloadListKeeper::unfinishedRows(app().keptLists());
    };
    cover->setHooks(std::move(hooks));
    cover->load();
    return QApplication::exec();
}
