#include "Windows.h"

#include "shell/AppValues.h"
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
    registerWindows();

    auto* cover = new fCover;
    cover->setAttribute(Qt::WA_DeleteOnClose);
    cover->load();
    return QApplication::exec();
}
