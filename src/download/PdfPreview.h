#pragma once

#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QThreadPool>

// Draws the first page of a PDF on a thread of its own and hands the picture
// back on the user-interface thread. Only the newest request matters: a
// request made while another is drawn replaces any that waits.
class FirstPageRenderer : public QObject {
    Q_OBJECT
public:
    explicit FirstPageRenderer(QObject* parent = nullptr);
    ~FirstPageRenderer() override;

    // bounds in device pixels.
    void request(const QString& path, QSize bounds);
    // The path of the newest request (empty after cancel()).
    QString wanted() const { return m_wanted; }
    void cancel() { m_wanted.clear(); }

signals:
    // image is null when the file could not be drawn; onUiThread says where it
    // was drawn (never there).
    void rendered(const QString& path, const QImage& image, bool onUiThread);

private:
    QThreadPool m_pool;
    QString m_wanted;
};

// The first page of a finished PDF, shown beside the pointer while it rests on
// the row, so the researcher sees at a glance that the file is the article.
class PdfPreview : public QLabel {
    Q_OBJECT
public:
    explicit PdfPreview(QWidget* parent);

    // Shows path's first page near globalPos once it is drawn, fitted to most
    // of the screen's height at the screen's own resolution.
    void showFor(const QString& path, const QPoint& globalPos);
    void hidePreview();
    FirstPageRenderer& renderer() { return *m_renderer; }

private:
    void rendered(const QString& path, const QImage& image);

    FirstPageRenderer* m_renderer;
    QPoint m_at;
};
