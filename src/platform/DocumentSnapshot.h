#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// One element of a document, as read from the embedded browser.
struct SnapshotElement {
    QString tag;       // tag name in upper case ("LI", "INPUT", "A", "DIV", ...)
    QString className; // the class attribute as written (may list several classes)
    QString id;
    QString name;                // the name attribute
    QString type;                // the type of an input (lower case), else the type attribute
    QString value;               // the value of an input, button, select, option or text area
    std::optional<bool> checked; // the ticked state of an INPUT; absent when it cannot be read
    QString text;                // inner text as rendered, for some tags (see DocumentSnapshot)
    QString href;                // absolute link address of an A or AREA element, else empty
    int parent = -1;             // index of the parent element, -1 for the root
    int index = -1;              // position in document order
    int end = -1;                // one past the index of the last descendant
};

// A run of text in the document, in document order: the element it stands
// in, and how many elements came before it in document order (so the texts
// inside element i are those with parent and after both in i .. end-1).
struct SnapshotText {
    int parent = -1;
    int after = 0; // index of the last element that started before this text
    QString text;  // white space collapsed to single spaces, not trimmed
};

// A <meta> of the document's head (name, property, content as written), or a
// <link rel="canonical"> (name "canonical", content its absolute address).
struct SnapshotMeta {
    QString name;
    QString property;
    QString content;
};

// The elements of a document in document order (a pre-order walk, so the
// descendants of element i are exactly the elements i+1 .. end-1).
//
// A snapshot that is not `present` stands for a browser without a document, a
// document still loading, or a read that failed: callers treat it as "no
// document". An empty blank page is present and has its html, head and body.
//
// Inner text is read for the elements whose text names them (A, AREA, BUTTON,
// LABEL, OPTION, LEGEND, CAPTION, TITLE, H1-H6, TD, TH) and cut at
// kMaxTextLength characters; other elements, whose text would repeat that of
// everything inside them, have an empty text (Browser::innerText reads it).
struct DocumentSnapshot {
    static constexpr int kMaxTextLength = 4096;

    QVector<SnapshotElement> elements;
    // Every text of the body outside scripts and styles (empty ones left
    // out), in document order; textOf() reads the text of any element.
    QVector<SnapshotText> texts;
    QVector<SnapshotMeta> meta;
    QString url; // the document's address as the browser reports it
    bool present = false;

    bool isEmpty() const { return elements.isEmpty(); }
    int size() const { return int(elements.size()); }
    const SnapshotElement& at(int i) const { return elements.at(i); }

    // True when element i has the tag, letter case ignored.
    bool hasTag(int i, const QString& tag) const;
    // The descendants of root (-1: the whole document) with the tag, letter case
    // ignored, in document order; root itself is never included.
    QVector<int> elementsByTag(int root, const QString& tag) const;
    // The first descendant of root with the tag, or -1.
    int firstByTag(int root, const QString& tag) const;
    // The first element whose id equals id, or -1.
    int elementById(const QString& id) const;
    // The text inside element i as a reader sees it on one line: its texts
    // joined in document order, runs of white space made one space, trimmed.
    QString textOf(int i) const;
    // The content of the head's meta tags with this name or property (letter
    // case ignored), in document order, trimmed; empty ones left out.
    QStringList metaContents(const QString& nameOrProperty) const;

    // The script that reads a document. It runs in the application's isolated
    // world and returns the text parse() reads, or null when the page has no
    // document or is still loading.
    static QString readScript();
    // Reads the script's text. Text of another form gives a snapshot that is
    // not present; a malformed element record gives an element without tag;
    // parent links that no document could give are cut, so the result is
    // always a well-formed tree.
    static DocumentSnapshot parse(const QString& text);
};

// Builds snapshots by hand, for tests and benchmarks: open() starts an element
// whose children follow until close(); add() appends a childless element.
class SnapshotBuilder {
public:
    explicit SnapshotBuilder(const QString& url = QStringLiteral("about:blank"));
    int open(SnapshotElement element);
    int add(SnapshotElement element);
    // A text inside the element now open (or, when none is, outside all).
    void addText(const QString& text);
    void addMeta(const QString& name, const QString& property, const QString& content);
    void close();
    DocumentSnapshot take();

private:
    int append(SnapshotElement element);
    DocumentSnapshot m_snapshot;
    QVector<int> m_open;
};
