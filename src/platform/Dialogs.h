#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// Message boxes, input boxes and file pickers. The program asks through this
// interface so that a test can answer instead of a person; the default
// implementation shows the real Qt dialogs with the application title.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A plain message without an icon, OK button only.
    virtual void message(QWidget* parent, const QString& text);
    virtual void information(QWidget* parent, const QString& text);
    virtual void error(QWidget* parent, const QString& text);
    // A Yes/No question with the question icon; true means Yes.
    virtual bool question(QWidget* parent, const QString& text);
    // An input box; no value when the user cancels.
    virtual std::optional<QString> inputText(QWidget* parent, const QString& prompt,
                                             const QString& title, const QString& preset);
    // Folder picker; empty when cancelled.
    virtual QString pickFolder(QWidget* parent, const QString& title, const QString& start);
    // File pickers; empty when cancelled. filter uses Qt's "Text (*.txt)" form.
    virtual QString openFile(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter);
    // A name typed without an extension gets defaultSuffix (when not empty)
    // before the dialog asks whether to replace an existing file, so the
    // question is about the file that will really be written.
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter, const QString& defaultSuffix);

    static QString applicationTitle() { return QStringLiteral("Varnelle"); }
};
