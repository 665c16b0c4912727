#include "shell/WindowFlow.h"

#include "shell/AppValues.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <unistd.h>

namespace {
const char* const UnloadedProperty = "varnelleUnloaded";

bool isLive(const QWidget* w) {
    return w && !w->property(UnloadedProperty).toBool();
}
} // namespace

WindowFlow::WindowFlow(QObject* parent) : QObject(parent) {
    m_exitHandler = [] {
        // Settings are written through at every change; the kept lists may
        // have a batch of changes waiting for its second.
        if (AppValues::exists())
            app().keptLists().writeNow();
        // _exit ends the process even from inside nested event loops, without
        // running the other windows' closing steps.
        ::_exit(0);
    };
}

void WindowFlow::registerWindow(const QString& name, Factory factory) {
    m_factories[name.toLower()] = std::move(factory);
}

QWidget* WindowFlow::find(const QString& name) const {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (isLive(w) && w->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return w;
    }
    return nullptr;
}

bool WindowFlow::IsFormLoaded(const QString& name) const {
    return find(name) != nullptr;
}

QWidget* WindowFlow::load(const QString& name) {
    if (QWidget* w = find(name))
        return w;
    const auto it = m_factories.find(name.toLower());
    if (it == m_factories.end())
        return nullptr;
    QWidget* w = it->second();
    if (w) {
        w->setAttribute(Qt::WA_DeleteOnClose);
        if (w->objectName().isEmpty())
            w->setObjectName(name);
    }
    return w;
}

QWidget* WindowFlow::show(const QString& name) {
    QWidget* w = load(name);
    if (!w)
        return nullptr;
    if (w->isMinimized())
        w->showNormal();
    else
        w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void WindowFlow::bringForward(const QString& name) {
    QWidget* w = find(name);
    if (!w || w->isHidden() || w->isMinimized())
        return;
    w->raise();
    w->activateWindow();
}

void WindowFlow::hide(const QString& name) {
    if (QWidget* w = find(name))
        w->hide();
}

void WindowFlow::showModal(const QString& name, QWidget* owner) {
    QPointer<QWidget> w = load(name);
    if (!w)
        return;
    if (owner && w->parentWidget() != owner->window())
        w->setParent(owner->window(), w->windowFlags() | Qt::Dialog);
    if (auto* dialog = qobject_cast<QDialog*>(w.data())) {
        // exec() deletes a dialog that deletes itself on close once it returns.
        dialog->exec();
        return;
    }
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
}

void WindowFlow::markUnloaded(QWidget* window) {
    if (window)
        window->setProperty(UnloadedProperty, true);
}

DownloadListSink* WindowFlow::downloadList() {
    return dynamic_cast<DownloadListSink*>(load(WindowNames::FileDownload));
}

void WindowFlow::exitProgram() {
    m_exitHandler();
}

void WindowFlow::setExitHandler(std::function<void()> handler) {
    m_exitHandler = std::move(handler);
}
