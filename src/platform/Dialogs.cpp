#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

void Dialogs::message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void Dialogs::information(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, applicationTitle(), text);
}

void Dialogs::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, applicationTitle(), text);
}

bool Dialogs::question(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, applicationTitle(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> Dialogs::inputText(QWidget* parent, const QString& prompt,
                                          const QString& title, const QString& preset) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(preset);
    // Wide enough for a web address (about 60 characters) where the screen
    // has room; Qt's own width fits barely a host name.
    const int wanted = dialog.fontMetrics().averageCharWidth() * 60;
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() * 9 / 10 : wanted;
    dialog.setMinimumWidth(qMin(wanted, room));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString Dialogs::pickFolder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start);
}

QString Dialogs::openFile(QWidget* parent, const QString& title, const QString& start,
                          const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, start, filter);
}

QString Dialogs::saveFile(QWidget* parent, const QString& title, const QString& start,
                          const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(parent, title, start, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog adds the suffix before its question about replacing a
    // file, so the question names the file that will be written.
    dialog.setDefaultSuffix(defaultSuffix);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        QString file = dialog.selectedFiles().value(0);
        if (file.isEmpty() || defaultSuffix.isEmpty() ||
            QFileInfo(file).fileName().contains(QLatin1Char('.')))
            return file;
        // A desktop's own dialog may hand the name back as typed: its question
        // was about another file, so ask about the real one here.
        file += QLatin1Char('.') + defaultSuffix;
        if (!QFileInfo::exists(file) ||
            QMessageBox::question(
                parent, applicationTitle(),
                QStringLiteral("%1 已存在。\n要替换它吗？").arg(QFileInfo(file).fileName()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
            return file;
        dialog.selectFile(file);
    }
}
