#include "Windows.h"

#include "about/OsName.h"

#include "platform/Registry.h"
#include "shell/AppValues.h"
#include "shell/BrowserEmulation.h"
#include "shell/fCover.h"

#include <QApplication>
#include <QIcon>
#include <unistd.h>

int main(int argc, char* argv[]) {
    // Chromium refuses to start its sandbox as root; the embedded browser then
    // runs without it, as the platform's browser layer expects.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnelle"));
    QApplication::setOrganizationName(QStringLiteral("Varnelle"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/varnelle/icon.svg")));
    QApplication::setQuitOnLastWindowClosed(false);

    AppValues values;
    Registry registry;
    registerWindows();

    auto* cover = new fCover;
    cover->setAttribute(Qt::WA_DeleteOnClose);
    fCover::Hooks hooks;
    hooks.afterBitness = [] {
        AppValues& v = app();
        v.OsDisplayName = OsDisplayNameFor(ReadOsName(), v.OsBitness);
    };
    hooks.readEmulation = [&registry] { LoadBrowserEmulationVersion(registry); };
    hooks.exitEmulationWrite = [&registry] { ExitBrowserEmulationStep(registry); };
    cover->setHooks(std::move(hooks));
    cover->load();
    return QApplication::exec();
}
