#include "gui/QtDialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

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

// The title bar holds the title beside its own icon and buttons; a box only as wide as a short text
// would cut the title short.
void WideEnoughForTitle(QMessageBox& box)
{
    QFont bold = box.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
    // Added last: setting the text, icon or buttons lays the box out anew.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
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
    if (!request.beneath.empty())
        box.setInformativeText(DisplayText(request.beneath));
    box.setIcon(IconFor(request.icon));
    box.setStandardButtons(ButtonsFor(request.buttons));
    QPushButton* log =
        request.offerLog ? box.addButton(QString::fromUtf8(kShowLogCaption), QMessageBox::ActionRole) : nullptr;
    QPushButton* replacing = request.offerReplacing
                                 ? box.addButton(QString::fromUtf8(kRunReplacingCaption), QMessageBox::ActionRole)
                                 : nullptr;
    QPushButton* remembering =
        request.offerRemembering ? box.addButton(QString::fromUtf8(kRunRememberingCaption), QMessageBox::ActionRole)
                                 : nullptr;
    WideEnoughForTitle(box);
    box.exec();

    if (log && box.clickedButton() == log)
        return BoxAnswer::ShowLog;
    if (replacing && box.clickedButton() == replacing)
        return BoxAnswer::RunReplacing;
    if (remembering && box.clickedButton() == remembering)
        return BoxAnswer::RunRemembering;
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

ErrorReportAnswer QtDialogs::ShowErrorReportBox(const ErrorReportRequest& request)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromStdString(request.box.title));
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(request.box.text));
    box.setIcon(IconFor(request.box.icon));
    box.setStandardButtons(ButtonsFor(request.box.buttons));
    if (!request.details.empty())
        box.setDetailedText(DisplayText(request.details));
    if (request.offerQuiet)
        box.setCheckBox(new QCheckBox(QString::fromUtf8(kQuietCaption)));
    QPushButton* stop =
        request.offerStop ? box.addButton(QString::fromUtf8(kStopImportCaption), QMessageBox::RejectRole) : nullptr;
    WideEnoughForTitle(box);
    box.exec();
    return {box.checkBox() && box.checkBox()->isChecked(), stop && box.clickedButton() == stop};
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

namespace qb {

OpenFilesResult FileNameResult(const QStringList& picked, std::size_t limit)
{
    OpenFilesResult result;
    if (picked.size() == 1) {
        result.names = QFile::encodeName(picked.first()).toStdString();
    } else if (picked.size() > 1) {
        const QString folder = QFileInfo(picked.first()).absolutePath();
        result.names = QFile::encodeName(folder).toStdString();
        for (const QString& path : picked) {
            const QFileInfo info(path);
            // Names typed with folders of their own ("/x/a.txt" "/y/b.txt") keep them.
            const QString name = info.absolutePath() == folder ? info.fileName() : info.absoluteFilePath();
            result.names += '\0';
            result.names += QFile::encodeName(name).toStdString();
        }
    }
    if (result.names.size() > limit)
        return {{}, true, {}};
    return result;
}

OpenFilesResult QtDialogs::ShowOpenFiles(const OpenFilesRequest& request)
{
    QFileDialog dialog(m_parent, QString::fromStdString(request.title));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const auto& filter : request.filters)
        filters << QString::fromStdString(filter);
    dialog.setNameFilters(filters);
    // "*.*" means every file, as it does where it comes from, not only names with a dot.
    const auto everyFile = [&dialog](const QString& filter) {
        if (!filter.contains(QLatin1String("(*.*)")))
            return;
        if (auto* model = dialog.findChild<QFileSystemModel*>())
            model->setNameFilters({QStringLiteral("*")});
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, everyFile);
    const QString folder = QFile::decodeName(QByteArray::fromStdString(request.folder));
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    const QString active = QString::fromStdString(request.active);
    if (!filters.isEmpty()) {
        dialog.selectNameFilter(filters.contains(active) ? active : filters.first());
        everyFile(dialog.selectedNameFilter());
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    OpenFilesResult result = FileNameResult(dialog.selectedFiles());
    result.filter = dialog.selectedNameFilter().toStdString();
    return result;
}

std::string QtDialogs::ShowFolderBrowser(const FolderRequest& request)
{
    QFileDialog dialog(m_parent, QString::fromStdString(request.prompt));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::LookIn, QString::fromStdString(request.prompt));
    const QFileInfo start(QFile::decodeName(QByteArray::fromStdString(request.start)));
    if (!request.start.empty() && start.isDir()) {
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFile::encodeName(QDir::cleanPath(dialog.selectedFiles().first())).toStdString();
}

std::string QtDialogs::ShowSaveFile(const SaveFileRequest& request)
{
    QFileDialog dialog(m_parent, QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const auto& filter : request.filters)
        filters << QString::fromStdString(filter);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(request.suffix));
    dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(request.proposed)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace qb
