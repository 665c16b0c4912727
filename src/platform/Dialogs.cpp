#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title.isEmpty() ? applicationTitle() : title,
                                               prompt, QLineEdit::Normal, preset, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString Dialogs::pickFolder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start);
}

QString Dialogs::openFile(QWidget* parent, const QString& title, const QString& start,
                          const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, start, filter);
}

QString Dialogs::saveFile(QWidget* parent, const QString& title, const QString& start,
                          const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, start, filter);
}
