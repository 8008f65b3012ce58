// The main window's Preview and Check: what an import would read and do,
// before anything is written.
#include "odbc/Database.h"
#include "gui/FileListView.h"
#include "gui/LookAndFeel.h"
#include "gui/PlaceControl.h"
#include "gui/PointerRule.h"
#include "gui/Twips.h"
#include "schema/CreateChecks.h"
#include "check/DryRun.h"
#include "run/ImportRun.h"
#include "check/Preview.h"
#include "schema/Naming.h"
#include "schema/TypeNames.h"
#include "load/StatementBuilder.h"
#include "gui/MainWindow.h"
#include "gui/PreviewWindow.h"
#include "gui/CheckWindow.h"
#include "gui/Dialogs.h"

#include <algorithm>

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

namespace qb {
namespace {

// Changes come in bursts (typing a separator): the grid follows once they settle.
constexpr int kPreviewDelayMs = 150;

}  // namespace

void MainWindow::BuildLookControls()
{
    auto* preview = Named(new QPushButton(QStringLiteral("Preview"), this), "PushButtonPreview", 11.25);
    auto* check = Named(new QPushButton(QStringLiteral("Check"), this), "PushButtonCheck", 11.25);
    m_pointer->ShowsHandOver(preview);
    m_pointer->ShowsHandOver(check);
    connect(preview, &QPushButton::clicked, this, &MainWindow::Preview_Click);
    connect(check, &QPushButton::clicked, this, &MainWindow::Check_Click);

    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(kPreviewDelayMs);
    connect(m_previewTimer, &QTimer::timeout, this, &MainWindow::RefreshPreview);
    const auto follow = [this] {
        if (m_preview && m_preview->isVisible())
            m_previewTimer->start();
    };
    connect(m_text3, &QLineEdit::textChanged, this, follow);
    connect(m_quoted, &QCheckBox::toggled, this, follow);
    connect(m_encoding, &QComboBox::currentTextChanged, this, follow);
    connect(m_types, &QComboBox::currentIndexChanged, this, follow);
    connect(m_keepLetters, &QCheckBox::toggled, this, follow);
    connect(m_byName, &QCheckBox::toggled, this, follow);
    connect(m_dates, &QComboBox::currentIndexChanged, this, follow);
    connect(m_noHeader, &QRadioButton::toggled, this, follow);
    connect(m_skipLines, &QSpinBox::valueChanged, this, follow);
    connect(m_nullMarkers, &QComboBox::currentTextChanged, this, follow);
    connect(m_trim, &QCheckBox::toggled, this, follow);
    connect(m_decimalComma, &QCheckBox::toggled, this, follow);
    connect(m_quote, &QComboBox::currentTextChanged, this, follow);
    for (QAbstractButton* button : {static_cast<QAbstractButton*>(m_option1), static_cast<QAbstractButton*>(m_option3),
                                    static_cast<QAbstractButton*>(m_check2)})
        connect(button, &QAbstractButton::toggled, this, follow);
    connect(m_files, &QTreeWidget::itemSelectionChanged, this, follow);
    connect(m_list1, &QListWidget::itemSelectionChanged, this, follow);
}

void MainWindow::Preview_Click()
{
    if (!m_preview) {
        m_preview = new PreviewWindow(this);
        m_preview->askName = [this](const std::string& prompt, const std::string& proposed) {
            return m_dialogs.Input(prompt, proposed);
        };
        // An edit holds for every file whose first line gives the names of the one shown, and the grid
        // shows it at once. Only what the user changed is kept: the rest follows the file and the
        // options when the run comes.
        m_preview->onEdit = [this](const std::string& column, const ColumnEdit& edit) {
            auto& plans = PreviewPlans();
            ColumnPlan& plan = plans[m_previewNames];
            if (edit == ColumnEdit{})
                plan.edits.erase(column);
            else
                plan.edits[column] = edit;
            if (plan.edits.empty())
                plans.erase(m_previewNames);
            RefreshPreview();
        };
        m_preview->onReset = [this] {
            PreviewPlans().erase(m_previewNames);
            RefreshPreview();
        };
    }
    RefreshPreview();
    m_preview->show();
    m_preview->raise();
}

// The preview shows the list's chosen file: the entry of the path is chosen first.
void MainWindow::PreviewFileAt(const std::string& path, long line)
{
    const std::vector<std::string> paths = m_files->ExactPaths();
    const auto entry = std::find(paths.begin(), paths.end(), path);
    if (entry == paths.end()) {
        m_dialogs.Message(QFile::decodeName(QByteArray::fromStdString(path)).toStdString() +
                          " is no longer in the list of files.");
        return;
    }
    m_files->clearSelection();
    m_files->setCurrentItem(m_files->topLevelItem(static_cast<int>(entry - paths.begin())));
    Preview_Click();
    m_previewTimer->stop();  // the choice is shown already; a refresh would lose the line
    if (line > 0 && !m_preview->ShowLine(line))
        m_dialogs.Message("Line " + std::to_string(line) + " is past the records the preview shows.");
}

const std::vector<std::string>& MainWindow::TableColumnNames(const std::string& table)
{
    const std::pair<std::string, std::string> key{m_dataSourceName(), table};
    if (const auto known = m_tableColumns.find(key); known != m_tableColumns.end())
        return known->second;
    Connection connection;
    connection.Open(key.first);
    return m_tableColumns[key] = connection.ColumnNames(BuildColumnNamesQuery(table));
}

// Which database's type names the preview guesses in; none when the data source cannot be reached.
std::optional<DatabaseKind> MainWindow::DataSourceKind()
{
    const std::string name = m_dataSourceName();
    if (const auto known = m_databaseKinds.find(name); known != m_databaseKinds.end())
        return known->second;
    try {
        Connection connection;
        connection.Open(name);
        return m_databaseKinds[name] = connection.Kind();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

const std::optional<std::vector<std::string>>& MainWindow::FirstLineNamesOf(const std::string& path,
                                                                           const FileFormat& format, bool keepLetters)
{
    struct stat file {};
    std::string reading = format.separator + '\n' + format.encoding + '\n' + (format.quoted ? "q" : "-") +
                          (keepLetters ? "k" : "-") + std::to_string(format.maxRecordLength);
    reading += std::string(1, format.quote) + (format.headerIsData ? "n" : "-") + std::to_string(format.skipLines);
    if (::stat(path.c_str(), &file) == 0)
        reading += '\n' + std::to_string(file.st_size) + '.' + std::to_string(file.st_mtim.tv_sec) + '.' +
                   std::to_string(file.st_mtim.tv_nsec);
    KnownNames& known = m_firstLines[path];
    if (known.reading != reading) {
        known.reading = std::move(reading);
        known.names = FirstLineNames(path, format, keepLetters);
    }
    return known.names;
}

std::map<std::vector<std::string>, ColumnPlan>& MainWindow::PreviewPlans()
{
    if (m_option1->isChecked())
        return m_plans;
    const auto selected = m_list1->selectedItems();
    return m_appendPlans[selected.isEmpty() ? std::string() : selected.first()->text().toStdString()];
}

void MainWindow::RefreshPreview()
{
    if (!m_preview)
        return;
    const ImportSettings settings = CurrentSettings();
    const std::optional<std::string> path = m_files->ChosenPath();
    if (!path) {
        Preview none;
        none.error = "No files added.";
        m_preview->Show(QString(), none);
        return;
    }
    PreviewOptions options;
    options.format = FormatOf(settings);
    options.encodingName = m_encoding->currentText().toStdString();
    options.createMode = settings.Mode == ImportMode::CreateNewTable;
    options.namesFromFirstLine = settings.ColumnNames == ColumnNameSource::FromFirstLine;
    options.skipFirstLine = settings.IgnoreFirstLine;
    options.keepLetters = settings.KeepLetters;
    options.values = ValueOptionsOf(settings);
    if (options.createMode && settings.GuessTypes)
        options.guessTypes = DataSourceKind();
    options.dateFormat = settings.DateFormat;
    m_previewNames.clear();
    std::size_t sameColumns = 0;
    // Appending with a header, its names may go to the table's columns: edited as a new table's are.
    const bool mapped = !options.createMode && settings.IgnoreFirstLine && settings.TargetTable;
    if ((options.createMode && options.namesFromFirstLine) || mapped) {
        if (const auto& names = FirstLineNamesOf(*path, options.format, options.keepLetters)) {
            m_previewNames = *names;
            options.plan = PlanFor(settings, *path, m_previewNames);
            // The same reading as the run's, so the count is of the files the edits will reach.
            for (const std::string& file : settings.Files)
                sameColumns += file == *path || FirstLineNamesOf(file, options.format, options.keepLetters) == m_previewNames;
        }
    }
    if (options.createMode && options.namesFromFirstLine)
        m_preview->typeChoices = TypeChoices(DataSourceKind().value_or(DatabaseKind::Other));
    std::string unread;  // why the table's own names cannot head the grid
    if (!options.createMode && settings.TargetTable) {
        try {
            options.tableNames = TableColumnNames(*settings.TargetTable);
            options.matching = settings.Matching;
            options.ignoreExtra = settings.IgnoreExtraColumns;
            options.database = DataSourceKind().value_or(DatabaseKind::Other);
            options.table = *settings.TargetTable;
        } catch (const std::exception& error) {
            unread = "The columns of " + *settings.TargetTable +
                     " cannot be read from the database, so they are numbered here: " + error.what();
        }
    }
    Preview preview = BuildPreview(*path, options);
    if (!unread.empty())
        preview.messages.insert(preview.messages.begin(), unread);
    preview.sameColumns = sameColumns;
    m_preview->Show(QFile::decodeName(QByteArray::fromStdString(*path)), preview);
}

void MainWindow::Check_Click()
{
    // One check at a time; the button is off meanwhile, but a call may come from elsewhere.
    if (m_check)
        return;
    auto* button = findChild<QPushButton*>(QStringLiteral("PushButtonCheck"));
    button->setEnabled(false);
    m_check = new BackgroundCheck(CurrentSettings(), this);
    // Not modal: the window stays usable while a long list is read.
    auto* progress = new QProgressDialog(QStringLiteral("Checking..."), QStringLiteral("Cancel"), 0, 0, this);
    progress->setObjectName(QStringLiteral("CheckProgress"));
    progress->setWindowTitle(QStringLiteral("Checking"));
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setMinimumWidth(420);
    connect(progress, &QProgressDialog::canceled, m_check, [check = m_check, progress] {
        check->Cancel();
        progress->hide();
    });
    connect(m_check, &BackgroundCheck::fileStarted, progress, [progress](int file, int files, const QString& path) {
        progress->setMaximum(files);
        progress->setValue(file - 1);
        progress->setLabelText(
            QStringLiteral("Checking file %1 of %2: %3").arg(file).arg(files).arg(QFileInfo(path).fileName()));
    });
    connect(m_check, &BackgroundCheck::finished, this, [this, button, progress] {
        progress->hide();
        progress->deleteLater();
        const DryRunResult result = m_check->Result();
        m_check->deleteLater();  // joins its thread, which has nothing left to do
        m_check = nullptr;
        button->setEnabled(!Importing());  // a run keeps it off till its end
        if (!result.refusal.empty()) {
            m_dialogs.Message(result.refusal);
            return;
        }
        // Nothing to act on needs no window: a box says so, what each file would come to behind its details.
        const bool clean =
            !result.cancelled && std::all_of(result.files.begin(), result.files.end(), [](const DryRunFile& file) {
                return !file.skipped && file.mismatched == 0 && file.warning.empty();
            });
        if (clean) {
            if (m_checkWindow)
                m_checkWindow->hide();  // an earlier check's problems are gone
            std::string lines;
            for (const DryRunFile& file : result.files)
                lines += (lines.empty() ? "" : "\r\n") + DryRunLine(file);
            m_dialogs.Details("No problems found.\r\n\r\n" + DryRunSummary(result), lines);
            return;
        }
        if (!m_checkWindow) {
            m_checkWindow = new CheckWindow(m_dialogs, this);
            m_checkWindow->onOpen = [this](const std::string& path, long line) { PreviewFileAt(path, line); };
        }
        m_checkWindow->Show(result);
        m_checkWindow->show();
        m_checkWindow->raise();
        m_checkWindow->activateWindow();
    });
    progress->show();
    m_check->Start();
}

}  // namespace qb
