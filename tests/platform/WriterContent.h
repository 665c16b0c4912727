#pragma once

#include <QByteArray>
#include <QList>

// What one writer of the concurrent part-file test writes in one round: a
// first line that names the writer, the round and the length, then bytes that
// follow from those alone. A file made of two writers' bytes, or cut short,
// is told from a whole one by the bytes themselves.
inline QByteArray WriterContent(int writer, int round) {
    const int size = 1024 + (writer * 7919 + round * 104729) % (8 * 1024);
    QByteArray data = "writer " + QByteArray::number(writer) + " round " +
                      QByteArray::number(round) + " size " + QByteArray::number(size) + "\n";
    data.reserve(size);
    for (int i = int(data.size()); i < size; ++i)
        data += char('a' + (i * 31 + writer * 17 + round * 13) % 26);
    return data;
}

// Whether bytes are one writer's whole content of one round.
inline bool IsWholeWriterContent(const QByteArray& bytes) {
    const QList<QByteArray> head = bytes.left(bytes.indexOf('\n')).split(' ');
    if (head.size() != 6 || head.at(0) != "writer" || head.at(2) != "round")
        return false;
    bool ok1 = false;
    bool ok2 = false;
    const int writer = head.at(1).toInt(&ok1);
    const int round = head.at(3).toInt(&ok2);
    return ok1 && ok2 && bytes == WriterContent(writer, round);
}
