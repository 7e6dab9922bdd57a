#include "platform/qt/qt_ui.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QUrl>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QMessageBox>

#include "platform/qt/qt_text_painter.h"

namespace halvex {

QString qtFileFilter(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace("*.*", "*");  // files without an extension count as well
        entries << parts[i] + " (" + pattern + ")";
    }
    return entries.join(";;");
}

std::string QtUi::prompt(const std::string& text, const std::string& defaultText) {
    bool ok = false;
    QString answer = QInputDialog::getText(parent_, "halvex", QString::fromStdString(text), QLineEdit::Normal,
                                           QString::fromStdString(defaultText), &ok);
    return ok ? answer.toStdString() : std::string();
}

Reply QtUi::message(const std::string& text, Buttons buttons) {
    const QString body = QString::fromStdString(text);
    switch (buttons) {
        case Buttons::Ok: QMessageBox::information(parent_, "halvex", body); return Reply::Ok;
        case Buttons::YesNo:
            return QMessageBox::question(parent_, "halvex", body, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
                       ? Reply::Yes
                       : Reply::No;
        case Buttons::YesNoCancel: {
            auto r = QMessageBox::question(parent_, "halvex", body,
                                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            return r == QMessageBox::Yes ? Reply::Yes : r == QMessageBox::No ? Reply::No : Reply::Cancel;
        }
    }
    return Reply::Ok;
}

std::string QtUi::openFile(const std::string& title, const std::string& filter) {
    return QFileDialog::getOpenFileName(parent_, QString::fromStdString(title), QString(), qtFileFilter(filter))
        .toStdString();
}

std::string QtUi::chooseFolder(const std::string& title) {
    QString folder = QFileDialog::getExistingDirectory(parent_, QString::fromStdString(title));
    return folder.isEmpty() ? std::string() : folder.toStdString() + "/";
}

std::string QtUi::saveFile(const std::string& title, const std::string& filter) {
    return QFileDialog::getSaveFileName(parent_, QString::fromStdString(title), QString(), qtFileFilter(filter))
        .toStdString();
}

void QtUi::clearClipboard() { QApplication::clipboard()->clear(); }

void QtUi::setClipboardText(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

void QtUi::setClipboardImage(const RgbImage& image) { QApplication::clipboard()->setImage(toQImage(image)); }

void QtUi::captionChanged(const std::string& window, const std::string& caption) {
    if (auto it = windows_.find(window); it != windows_.end()) it->second->setWindowTitle(QString::fromStdString(caption));
}

void QtUi::showWindow(const std::string& window, bool shown) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    it->second->setVisible(shown);
    if (shown) {
        it->second->raise();
        it->second->activateWindow();
    }
}

void QtUi::progress(int done, int total) {
    if (!progressBar_) return;
    progressBar_->setVisible(total > 0);
    if (total > 0) {
        progressBar_->setRange(0, total);
        progressBar_->setValue(done);
    }
}

void QtUi::pumpEvents() { QApplication::processEvents(); }

void QtUi::openDocument(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace halvex
