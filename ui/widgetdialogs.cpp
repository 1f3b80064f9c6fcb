#include "ui/widgetdialogs.h"

#include <QDir>
#include <QFileDialog>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace qv {

namespace {

QMessageBox::Icon boxIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Warning:
            return QMessageBox::Warning;
        case MsgIcon::Error:
        case MsgIcon::Stop:
            return QMessageBox::Critical;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QWidget* boxParent() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

}  // namespace

MsgAnswer WidgetDialogs::message(const QString& text, const QString& caption, MsgIcon icon,
                                 MsgButtons buttons) {
    QMessageBox box(boxIcon(icon), caption, text, QMessageBox::NoButton, boxParent());
    switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case MsgButtons::YesNoDefaultNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            break;
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    switch (clicked ? box.standardButton(clicked) : QMessageBox::NoButton) {
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            break;
    }
    return closedAnswer(buttons);  // closed without a button
}

InputResult WidgetDialogs::input(const QString& caption, const QString& prompt,
                                 const QString& value, int maxLength) {
    QInputDialog dlg(boxParent());
    dlg.setWindowTitle(caption);
    dlg.setLabelText(prompt);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setTextValue(value);
    if (QLineEdit* edit = dlg.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
    InputResult r;
    r.ok = dlg.exec() == QDialog::Accepted;
    if (r.ok) r.value = dlg.textValue();
    return r;
}

QString WidgetDialogs::openFile(const QString& caption, const QString& directory,
                                const QString& filter) {
    QFileDialog dlg(boxParent(), caption, directory, filter);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    // "*.dbf" also finds "TESSARIN.DBF": Linux names differ in case.
    dlg.setFilter(dlg.filter() & ~QDir::CaseSensitive);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().constFirst();
}

QString WidgetDialogs::chooseDirectory(const QString& caption, const QString& directory) {
    QFileDialog dlg(boxParent(), caption, directory);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().constFirst();
}

}  // namespace qv
