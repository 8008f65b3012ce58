#pragma once

#include "files/FolderScan.h"
#include "odbc/DatabaseKind.h"
#include "run/ImportSettings.h"
#include "base/ErrorReport.h"

#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <unordered_set>

class QButtonGroup;
class QCheckBox;
class QTimer;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QShortcut;
class QSpinBox;
class QToolButton;

namespace qb {

class Dialogs;
class FileListView;
class PointerRule;
class SettingsStore;
struct ImportProgress;
struct ImportSettings;
struct ImportSummary;
struct ProfileEntry;
class WindowImportHost;

// The window where the work is done: the files, the separator, the mode and
// its options, the table list, and Start Importing.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    MainWindow(SettingsStore& settings, Dialogs& dialogs, std::function<std::string()> dataSourceName,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The initialisation; run again by Next > of the connection window.
    void Form_Load();
    int Loads() const { return m_loads; }

    void PushButton1_Click();  // Start Importing
    void PushButton3_Click();  // Add Text File(s)
    void PushButton4_Click();  // Add All File(s) In Folder
    void PushButton5_Click();  // Setup Connection
    void PushButton6_Click();  // ?
    // The table list read again from the data source (or F5), the chosen table kept chosen.
    void RefreshTables();
    void Preview_Click();      // the first records of the chosen file, as the import would read them
    // The separator from the first lines of the chosen file, as the import would read them.
    void GuessSeparator_Click();
    void Check_Click();        // the whole list, read and checked but not imported, off the window's thread
    bool Checking() const { return m_check != nullptr; }
    // Profiles, the named sets of options the command line's --profile reads too.
    void SaveProfile_Click();
    void LoadProfile_Click();
    // Stop, or Escape: the run ends after the statement or batch in flight.
    void StopImport();
    bool Importing() const { return m_run != nullptr; }

    // The import's inputs, as the controls hold them now.
    ImportSettings CurrentSettings() const;

    FileListView& Files() const { return *m_files; }
    PointerRule& Pointer() const { return *m_pointer; }

    std::function<void()> onSetupConnection;
    std::function<void()> onClose;
    // Paces the status line during a run; replaceable so that tests script it.
    std::function<std::chrono::steady_clock::time_point()> progressClock;
    // Opens the run's log with the desktop's viewer.
    std::function<bool(const QUrl&)> openUrl;

signals:
    // The status line below the controls shows new text (rich text).
    void statusChanged(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildProgressControls();
    void BuildLookControls();
    void BuildNewTableControls();
    void BuildSeparatorControls();
    void BuildLineControls();
    char QuoteCharacter() const;
    // Everything added to the original controls, in groups beside them.
    void BuildValueControls();
    void BuildOptionsPanel();
    void RefreshPreview();
    void PreviewFileAt(const std::string& path, long line);
    // The table's column names, asked of the data source once per table; throws when they cannot be read.
    const std::vector<std::string>& TableColumnNames(const std::string& table);
    std::optional<DatabaseKind> DataSourceKind();
    const std::optional<std::vector<std::string>>& FirstLineNamesOf(const std::string& path, const FileFormat& format,
                                                                    bool keepLetters);
    void ApplyMode();
    std::vector<ProfileEntry> ProfileEntries() const;
    void ApplyProfile(const std::vector<ProfileEntry>& entries, const std::string& name);
    void LockForRun(bool locked);
    void Remember(QCheckBox* box, const char* key);
    void Remember(QComboBox* choice, const char* key);
    void ShowRunEnd(const ImportSummary& summary, const WindowImportHost& host);
    void RunAgain(const WindowImportHost& host);
    void ShowProgress(const ImportProgress& progress);
    void ShowSummary(const ImportSummary& summary, int unshownReports);
    void OpenLog();
    void SetStatus(const QString& text, bool linked = false);
    void AppendPath(const std::string& path);
    // Around each way of adding files: a path already listed is not added again, and the status line says how many were.
    void BeginAdding();
    void EndAdding();
    void AddDropped(const std::vector<std::string>& paths);
    // Folder walks report on this window and keep it responsive.
    ScanHost WalkHost() const;

    SettingsStore& m_settings;
    Dialogs& m_dialogs;
    std::function<std::string()> m_dataSourceName;
    std::unique_ptr<ErrorReporter> m_reporter;
    PointerRule* m_pointer;
    int m_loads = 0;

    QGroupBox* m_frame1;
    QGroupBox* m_frame2;
    QGroupBox* m_frame3;
    QGroupBox* m_frame4;
    FileListView* m_files;
    QLineEdit* m_text2;
    QLineEdit* m_text3;
    QToolButton* m_separators;  // the separator box's presets and guess
    QLabel* m_separatorMark;    // shown while the separator holds a tab or a space, which cannot be seen
    QLabel* m_label1;
    QLabel* m_label2;
    QLabel* m_label5;
    QRadioButton* m_option1;
    QRadioButton* m_option2;
    QRadioButton* m_option3;
    QRadioButton* m_option4;
    QCheckBox* m_check2;
    QListWidget* m_list1;
    QCheckBox* m_quoted;
    QLabel* m_encodingLabel;
    QComboBox* m_encoding;
    QLabel* m_typesLabel;
    QComboBox* m_types;
    QLabel* m_onDuplicateLabel;
    QComboBox* m_onDuplicate;  // appending: what a line does whose key the table holds
    QCheckBox* m_keepLetters;
    QCheckBox* m_resume;
    QLabel* m_jobsLabel;
    QSpinBox* m_jobs;  // files read and sent at once; 0 shows as auto
    QLabel* m_ifExistsLabel;
    QComboBox* m_ifExists;      // creating: what becomes of a table that exists
    QCheckBox* m_emptyFirst;    // appending: the table is emptied first
    QCheckBox* m_byName;  // appending: "Match columns by name", which needs "Ignore first line"
    QLabel* m_datesLabel;
    QComboBox* m_dates;  // "Guess", or the form dates not in ISO form are read in
    // Values as people write them: markers taken as NULL, spaces trimmed, decimal commas.
    QLabel* m_nullLabel;
    QComboBox* m_nullMarkers;
    QCheckBox* m_trim;
    QCheckBox* m_decimalComma;
    QRadioButton* m_noHeader;  // a third way to name a new table's columns, beside the original two
    QLabel* m_skipLinesLabel;
    QSpinBox* m_skipLines;
    QComboBox* m_quote;
    QLabel* m_fileCount;
    QPushButton* m_clearList;
    bool m_quitAfterRun = false;  // the window was closed during the run
    QButtonGroup* m_modes;
    QLabel* m_status;
    QPushButton* m_stop;
    QProgressBar* m_progress;
    QShortcut* m_escape;
    class PreviewWindow* m_preview = nullptr;  // made when first asked for
    class BackgroundCheck* m_check = nullptr;  // the check under way
    class CheckWindow* m_checkWindow = nullptr;  // what the last check found; made when first asked for
    QTimer* m_previewTimer = nullptr;
    std::unordered_set<std::string> m_listed;  // while files are added: the list's exact paths
    int m_alreadyListed = 0;                   // paths left out as already listed, while files are added
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> m_tableColumns;  // by data source and table
    std::map<std::string, DatabaseKind> m_databaseKinds;  // by data source, asked once
    // Columns edited in the preview, by the names a first line gives: they hold for every such file.
    std::map<std::vector<std::string>, ColumnPlan> m_plans;
    // Appending: where each file column goes, by the table and then the names a first line gives.
    std::map<std::string, std::map<std::vector<std::string>, ColumnPlan>> m_appendPlans;
    // The edits the preview makes now: the new tables', or the chosen table's.
    std::map<std::vector<std::string>, ColumnPlan>& PreviewPlans();
    std::vector<std::string> m_previewNames;  // those of the file the preview shows
    // Each listed file's first line names, as last read: the count of files sharing edits asks on
    // every refresh, and the reading of a file may scan all of it.
    struct KnownNames {
        std::string reading;  // the format, the file's size and time: another reading is read again
        std::optional<std::vector<std::string>> names;
    };
    std::map<std::string, KnownNames> m_firstLines;
    WindowImportHost* m_run = nullptr;  // the run under way
    std::vector<std::string> m_replaceNext;  // tables a stopped run made, for the next run to make again
    QString m_logPath;                  // the last run's log, as the summary links to it
};

QString MainHelpText();

// The NULL markers typed in the window: separated by commas, spaces around each dropped.
std::vector<std::string> NullMarkersIn(const QString& text);

}  // namespace qb
