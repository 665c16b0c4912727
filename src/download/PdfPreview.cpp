#include "download/PdfPreview.h"

#include "platform/PdfReader.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

namespace {
struct Drawn {
    QImage image;
    bool onUiThread = false;
};
} // namespace

FirstPageRenderer::FirstPageRenderer(QObject* parent) : QObject(parent) {
    m_pool.setMaxThreadCount(1);
}

FirstPageRenderer::~FirstPageRenderer() {
    m_pool.clear();
    m_pool.waitForDone();
}

void FirstPageRenderer::request(const QString& path, QSize bounds) {
    m_wanted = path;
    // A page still waiting its turn is no longer wanted.
    m_pool.clear();
    auto* watcher = new QFutureWatcher<Drawn>(this);
    connect(watcher, &QFutureWatcher<Drawn>::finished, this, [this, watcher, path] {
        watcher->deleteLater();
        if (watcher->future().resultCount() == 0)
            return;
        const Drawn d = watcher->future().result();
        emit rendered(path, d.image, d.onUiThread);
    });
    QThread* ui = QCoreApplication::instance()->thread();
    watcher->setFuture(QtConcurrent::run(&m_pool, [path, bounds, ui] {
        return Drawn{RenderFirstPdfPage(path, bounds), QThread::currentThread() == ui};
    }));
}

PdfPreview::PdfPreview(QWidget* parent)
    : QLabel(parent, Qt::ToolTip | Qt::FramelessWindowHint),
      m_renderer(new FirstPageRenderer(this)) {
    setObjectName(QStringLiteral("PdfPreview"));
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignCenter);
    connect(m_renderer, &FirstPageRenderer::rendered, this,
            [this](const QString& path, const QImage& image) { rendered(path, image); });
}

void PdfPreview::showFor(const QString& path, const QPoint& globalPos) {
    m_at = globalPos;
    if (path == m_renderer->wanted() && isVisible())
        return;
    QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    const QSize bounds(int(area.width() * 0.45 * ratio), int(area.height() * 0.8 * ratio));
    m_renderer->request(path, bounds);
}

void PdfPreview::hidePreview() {
    m_renderer->cancel();
    hide();
}

void PdfPreview::rendered(const QString& path, const QImage& image) {
    if (path != m_renderer->wanted())
        return;
    if (image.isNull()) {
        hide();
        return;
    }
    QPixmap page = QPixmap::fromImage(image);
    QScreen* screen = QGuiApplication::screenAt(m_at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    page.setDevicePixelRatio(screen ? screen->devicePixelRatio() : 1.0);
    setPixmap(page);
    adjustSize();
    // Beside the pointer, kept on the screen.
    QPoint at = m_at + QPoint(24, 16);
    if (screen) {
        const QRect area = screen->availableGeometry();
        if (at.x() + width() > area.right())
            at.setX(qMax(area.left(), m_at.x() - 24 - width()));
        at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() - height())));
    }
    move(at);
    show();
}
