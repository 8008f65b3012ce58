#include "platform/QtDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace qb {

namespace {

QMessageBox::StandardButtons ButtonsFor(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::Ok:
        return QMessageBox::Ok;
    case BoxButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case BoxButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon IconFor(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None:
        return QMessageBox::NoIcon;
    case BoxIcon::Exclamation:
        return QMessageBox::Warning;
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// A box closed without a button (Escape, the window's close button).
BoxAnswer AnswerWhenClosed(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::Ok:
        return BoxAnswer::Ok;
    case BoxButtons::YesNo:
        return BoxAnswer::No;
    default:
        return BoxAnswer::Cancel;
    }
}

}  // namespace

QString DisplayText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QtDialogs::QtDialogs(QWidget* parent) : m_parent(parent) {}

BoxAnswer QtDialogs::ShowMessageBox(const MessageBoxRequest& request)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromStdString(request.title));
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(request.text));
    box.setIcon(IconFor(request.icon));
    box.setStandardButtons(ButtonsFor(request.buttons));
    box.exec();

    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return BoxAnswer::Ok;
    case QMessageBox::Cancel:
        return BoxAnswer::Cancel;
    case QMessageBox::Yes:
        return BoxAnswer::Yes;
    case QMessageBox::No:
        return BoxAnswer::No;
    case QMessageBox::Retry:
        return BoxAnswer::Retry;
    default:
        return AnswerWhenClosed(request.buttons);
    }
}

std::string QtDialogs::ShowInputBox(const InputBoxRequest& request)
{
    QInputDialog box(m_parent);
    box.setWindowTitle(QString::fromStdString(request.title));
    box.setInputMode(QInputDialog::TextInput);
    box.setLabelText(DisplayText(request.prompt));
    box.setTextValue(QString::fromStdString(request.proposed));
    if (box.exec() != QDialog::Accepted)
        return {};
    return box.textValue().toStdString();
}

}  // namespace qb
