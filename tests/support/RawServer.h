#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

#include <sys/socket.h>

// Answers on 127.0.0.1 with bytes written by hand, for answers no well-behaved
// server gives: bodies cut by a reset, broken chunked encodings, bodies in a
// content coding nobody asked for. Runs on the test's thread, so it answers
// while the code under test waits on events.
class RawServer : public QObject {
public:
    enum class End {
        Close, // a normal close after the bytes
        Reset, // a reset after the bytes
        Hold,  // the connection stays open until release()
    };

    RawServer() {
        connect(&m_server, &QTcpServer::newConnection, this, &RawServer::accept);
        m_server.listen(QHostAddress::LocalHost);
    }

    void add(const QByteArray& path, const QByteArray& answer, End end = End::Close) {
        m_answers.insert(path, {answer, end});
    }
    // An answer made for each request from its head (request line and
    // headers), for servers whose answers depend on what was asked.
    struct Reply {
        QByteArray bytes;
        End end = End::Close;
    };
    using Responder = std::function<Reply(const QByteArray& head)>;
    void addResponder(const QByteArray& path, Responder responder) {
        m_responders.insert(path, std::move(responder));
    }
    // The heads of the requests for path, in order.
    QList<QByteArray> heads(const QByteArray& path) const { return m_heads.value(path); }
    QString url(const QByteArray& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_server.serverPort())
            .arg(QString::fromLatin1(path));
    }
    int requests(const QByteArray& path) const { return m_log.count(path); }
    // Held connections the client has not closed yet.
    int heldOpen() const {
        int open = 0;
        for (const QPointer<QTcpSocket>& s : m_held)
            if (s && s->state() == QAbstractSocket::ConnectedState)
                ++open;
        return open;
    }
    // Ends every held connection with a reset.
    void release() {
        for (const QPointer<QTcpSocket>& s : std::as_const(m_held))
            if (s)
                reset(s);
        m_held.clear();
    }

private:
    struct Answer {
        QByteArray bytes;
        End end;
    };

    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    }

    void serve(QTcpSocket* socket) {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QByteArray path = buffer.split(' ').value(1);
        const QByteArray head = buffer.left(buffer.indexOf("\r\n\r\n"));
        buffer.clear();
        m_log << path;
        m_heads[path] << head;
        Answer answer = m_answers.value(path, {"HTTP/1.1 404 Not Found\r\n"
                                               "Content-Length: 0\r\n\r\n",
                                               End::Close});
        if (const auto r = m_responders.constFind(path); r != m_responders.constEnd()) {
            const Reply reply = (*r)(head);
            answer = {reply.bytes, reply.end};
        }
        socket->write(answer.bytes);
        switch (answer.end) {
        case End::Close:
            socket->disconnectFromHost();
            break;
        case End::Reset:
            // Let the bytes leave before the reset cuts the connection.
            if (socket->bytesToWrite() > 0)
                connect(socket, &QTcpSocket::bytesWritten, this, [socket] {
                    if (socket->bytesToWrite() == 0)
                        reset(socket);
                });
            else
                reset(socket);
            break;
        case End::Hold:
            m_held << socket;
            break;
        }
    }

    static void reset(QTcpSocket* socket) {
        socket->flush();
        const linger hard{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        socket->abort();
    }

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    QHash<QByteArray, Responder> m_responders;
    QHash<QByteArray, QList<QByteArray>> m_heads;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QPointer<QTcpSocket>> m_held;
    QList<QByteArray> m_log;
};
