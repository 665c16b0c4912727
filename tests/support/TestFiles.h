#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// Small helpers the tests share: whole files in and out, and an action run
// from inside whatever wait is running.

// count different CJK characters (three UTF-8 bytes each), for the byte limits of names.
inline QString cjk(int count) {
    QString s;
    for (int i = 0; i < count; ++i)
        s.append(QChar(char16_t(0x4E00 + i)));
    return s;
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A whole PDF of size bytes (size >= 16): its header, lines of digits and
// letters ending in mark, and its end marker. Bodies made with other marks
// differ all through.
inline QByteArray PdfOfSize(qsizetype size, char mark = 'f') {
    QByteArray body = "%PDF-1.4\n";
    while (body.size() < size - 7)
        body += QByteArray("0123456789abcde") + mark + '\n';
    body.truncate(size - 7);
    return body + "\n%%EOF\n";
}

// Lets the timer named name under owner time out now, as its next tick would:
// tests step once-a-second timers instead of waiting for them.
inline bool fireTimer(QObject* owner, const char* name) {
    auto* timer = owner ? owner->findChild<QTimer*>(QLatin1String(name)) : nullptr;
    return timer && QMetaObject::invokeMethod(timer, "timeout");
}

// Runs action once, from inside whatever wait is running, as soon as ready() holds.
class When : public QObject {
public:
    When(std::function<bool()> ready, std::function<void()> action)
        : m_ready(std::move(ready)), m_action(std::move(action)) {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (!m_done && m_ready()) {
                m_done = true;
                m_timer.stop();
                m_action();
            }
        });
        m_timer.start();
    }
    bool done() const { return m_done; }

private:
    std::function<bool()> m_ready;
    std::function<void()> m_action;
    QTimer m_timer;
    bool m_done = false;
};
