// The main window's Preview and Check: what an import would read and do,
// before anything is written.
#include "odbc/Database.h"
#include "gui/FileListView.h"
#include "gui/LookAndFeel.h"
#include "gui/PointerRule.h"
#include "gui/Twips.h"
#include "import/CreateChecks.h"
#include "import/DryRun.h"
#include "import/ImportRun.h"
#include "import/Preview.h"
#include "import/StatementBuilder.h"
#include "gui/MainWindow.h"
#include "gui/PreviewWindow.h"
#include "gui/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace qb {
namespace {

// Changes come in bursts (typing a separator): the grid follows once they settle.
constexpr int kPreviewDelayMs = 150;

}  // namespace

void MainWindow::BuildLookControls()
{
    auto twips = [this](int left, int top, int width, int height) { return TwipsRect(left, top, width, height, this); };
    auto* preview = new QPushButton(QStringLiteral("Preview"), this);
    preview->setObjectName(QStringLiteral("PushButtonPreview"));
    preview->setGeometry(twips(120, 10395, 3000, 405));
    preview->setFont(BoldFont(11.25));
    auto* check = new QPushButton(QStringLiteral("Check"), this);
    check->setObjectName(QStringLiteral("PushButtonCheck"));
    check->setGeometry(twips(3240, 10395, 3000, 405));
    check->setFont(BoldFont(11.25));
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
    connect(m_encoding, &QComboBox::currentIndexChanged, this, follow);
    connect(m_types, &QComboBox::currentIndexChanged, this, follow);
    connect(m_keepLetters, &QCheckBox::toggled, this, follow);
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
        // An edit holds for the file shown, and the grid shows it at once.
        m_preview->onPlan = [this](const ColumnPlan& plan) {
            m_plans[m_previewPath] = plan;
            RefreshPreview();
        };
    }
    RefreshPreview();
    m_preview->show();
    m_preview->raise();
}

std::optional<std::size_t> MainWindow::TableColumns(const std::string& table)
{
    if (const auto known = m_tableColumns.find(table); known != m_tableColumns.end())
        return known->second;
    try {
        Connection connection;
        connection.Open(m_dataSourceName());
        const auto columns = static_cast<std::size_t>(connection.ColumnCount(BuildColumnCountQuery(table)));
        m_tableColumns[table] = columns;
        return columns;
    } catch (const std::exception&) {
        return std::nullopt;  // the preview shows no marks then
    }
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

void MainWindow::RefreshPreview()
{
    if (!m_preview)
        return;
    const ImportSettings settings = CurrentSettings();
    const auto selected = m_files->selectedItems();
    const int row = selected.isEmpty() ? 0 : m_files->indexOfTopLevelItem(selected.first());
    const std::optional<std::string> path = m_files->ExactPathAt(row);
    if (!path) {
        Preview none;
        none.error = "No files added.";
        m_preview->Show(QString(), none);
        return;
    }
    PreviewOptions options;
    options.format = {settings.Separator, settings.Quoted, settings.Encoding};
    options.createMode = settings.Mode == ImportMode::CreateNewTable;
    options.namesFromFirstLine = settings.ColumnNames == ColumnNameSource::FromFirstLine;
    options.skipFirstLine = settings.IgnoreFirstLine;
    options.keepLetters = settings.KeepLetters;
    if (options.createMode && settings.GuessTypes)
        options.guessTypes = DataSourceKind();
    m_previewPath = *path;
    if (const auto plan = m_plans.find(*path); options.createMode && plan != m_plans.end())
        options.plan = &plan->second;
    if (options.createMode && options.namesFromFirstLine)
        m_preview->typeChoices = TypeChoices(DataSourceKind().value_or(DatabaseKind::Other));
    if (!options.createMode && settings.TargetTable)
        options.tableColumns = TableColumns(*settings.TargetTable);
    m_preview->Show(QFile::decodeName(QByteArray::fromStdString(*path)), BuildPreview(*path, options));
}

void MainWindow::Check_Click()
{
    m_pointer->SetPointer(PointerStyle::Busy);
    const DryRunResult result = DryRun(CurrentSettings());
    m_pointer->SetPointer(PointerStyle::Default);
    if (!result.refusal.empty()) {
        m_dialogs.Message(result.refusal);
        return;
    }
    std::string lines;
    for (const DryRunFile& file : result.files)
        lines += DryRunLine(file) + "\n";
    m_dialogs.Details(DryRunSummary(result), lines);
}

}  // namespace qb
