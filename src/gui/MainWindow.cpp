#include "gui/MainWindow.h"
#include "gui/EncodingBox.h"

#include "gui/FillTableList.h"
#include "gui/FileListView.h"
#include "gui/LookAndFeel.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "gui/Twips.h"
#include "run/ImportRun.h"
#include "run/RunTexts.h"
#include "read/TextDecoder.h"
#include "run/LogAndRejects.h"
#include "gui/WindowImportHost.h"
#include "gui/Dialogs.h"
#include "gui/ErrorReportBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QToolButton>

namespace qb {
namespace {

const char* const kDefaultPattern = "NewTable[counter]";
const char* const kDefaultSeparator = ",";

template <typename Control>
Control* Place(Control* control, const char* name, QRect rect, double points = 9)
{
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(rect);
    control->setFont(BoldFont(points));
    return control;
}

// Room the window gains below its original controls, in twips: the reading
// options, then the run's status line and progress bar.
constexpr int kOriginalHeight = 8685;
constexpr int kAddedHeight = 480;
constexpr int kProgressHeight = 1230;
constexpr int kLookHeight = 510;
constexpr int kNewTableHeight = 1160;

// The bar's steps: byte counts would overflow its int range.
constexpr int kProgressSteps = 1000;

int ProgressStep(const ImportProgress& progress)
{
    if (progress.bytesTotal == 0)
        return 0;
    const double done = static_cast<double>(std::min(progress.bytesDone, progress.bytesTotal));
    return static_cast<int>(done * kProgressSteps / static_cast<double>(progress.bytesTotal));
}

QString Escaped(const std::string& text)
{
    return QString::fromStdString(text).toHtmlEscaped();
}

}  // namespace

QString MainHelpText()
{
    return QStringList{QStringLiteral("Text files should look like this:"), QString(), QStringLiteral("Name,State"),
                       QStringLiteral("Peter,NH"), QStringLiteral("Jane,MA"), QString(),
                       QStringLiteral("Also, if appending, make sure the number of columns in the text file match "
                                      "the number of columns in the table."),
                       QString(),
                       QStringLiteral("When appending, number of columns and data types (number, decimal, text, "
                                      "etc.) must be identical."),
                       QString(),
                       QStringLiteral("Fields may be in double quotes: a quoted field may hold the separator and line "
                                      "breaks, and two double quotes in it stand for one; \"\" is an empty text, "
                                      "while an empty field is NULL. Encoding: the files' character set, converted "
                                      "to UTF-8; files that start with a UTF-16 byte order mark are read as UTF-16 "
                                      "whatever is chosen."),
                       QString(),
                       QStringLiteral("Fields Separated By: a tab is typed as a tab (paste one) or chosen from the "
                                      "presets of the button beside the box, and \u21E5 tab shows it is there. The "
                                      "presets are comma, semicolon, tab, pipe and space; \"Guess from the selected "
                                      "file\" picks the one that cuts most of the first 100 lines of the file chosen "
                                      "in the list into the same number of fields.")}
        .join(QStringLiteral("\r\n"));
}

MainWindow::MainWindow(SettingsStore& settings, Dialogs& dialogs, std::function<std::string()> dataSourceName,
                       QWidget* parent)
    // Exactly these decorations: a window of fixed size has nothing to maximise.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_settings(settings), m_dialogs(dialogs), m_dataSourceName(std::move(dataSourceName)),
      m_reporter(std::make_unique<ErrorReportBox>(dialogs)), m_pointer(new PointerRule(this))
{
    setObjectName(QStringLiteral("Form2"));
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    BuildControls();
}

MainWindow::~MainWindow()
{
    // The list empties as the window's children go: the count must not follow it then.
    m_files->model()->disconnect(this);
}

void MainWindow::BuildControls()
{
    auto twips = [this](int left, int top, int width, int height) { return TwipsRect(left, top, width, height, this); };
    setFixedSize(TwipsToPixels(6345, this),
                 TwipsToPixels(kOriginalHeight + kAddedHeight + kProgressHeight + kLookHeight + kNewTableHeight, this));
    setAutoFillBackground(true);

    m_frame1 = Place(new QGroupBox(this), "Frame1", twips(120, 0, 6120, 2480));
    m_files = Place(new FileListView(m_frame1), "ListView1", twips(240, 240, 5655, 1215));
    auto* add = Place(new QPushButton(QStringLiteral("Add Text File(s)"), m_frame1), "PushButton3",
                      twips(240, 1545, 2775, 405), 11.25);
    auto* addAll = Place(new QPushButton(QStringLiteral("Add All File(s) In Folder"), m_frame1), "PushButton4",
                         twips(3120, 1545, 2775, 405), 11.25);
    auto* help = Place(new QPushButton(QStringLiteral("?"), m_frame1), "PushButton6", twips(4080, 2033, 735, 345), 11.25);
    m_label1 = Place(new QLabel(QStringLiteral("Fields Separated By:"), m_frame1), "Label1", twips(240, 2090, 2055, 255));
    m_text3 = Place(new QLineEdit(m_frame1), "Text3", twips(2280, 2050, 1695, 330));
    BuildSeparatorControls();

    m_frame2 = Place(new QGroupBox(QStringLiteral("Table Options"), this), "Frame2", twips(120, 2520, 6120, 5055));
    m_option1 = Place(new QRadioButton(QStringLiteral("Create New Table From Text File"), m_frame2), "Option1",
                      twips(180, 360, 3495, 255));
    m_frame3 = Place(new QGroupBox(QStringLiteral("Create New Table Options"), m_frame2), "Frame3",
                     twips(180, 720, 5775, 1455));
    m_option3 = Place(new QRadioButton(QStringLiteral("First line in file will be used to create table columns"), m_frame3),
                      "Option3", twips(120, 300, 4695, 255));
    m_option4 = Place(new QRadioButton(QStringLiteral("Ignore first line, user-specified columns names"), m_frame3),
                      "Option4", twips(120, 600, 4455, 255));
    m_label5 = Place(new QLabel(QStringLiteral("Table Name:"), m_frame3), "Label5", twips(240, 960, 1215, 255));
    m_text2 = Place(new QLineEdit(m_frame3), "Text2", twips(1680, 960, 3735, 330));
    m_option2 = Place(new QRadioButton(QStringLiteral("Append to Existing Table From Text File"), m_frame2), "Option2",
                      twips(180, 2280, 4095, 255));
    m_frame4 = Place(new QGroupBox(QStringLiteral("Append to Existing Table Options"), m_frame2), "Frame4",
                     twips(180, 2640, 5775, 2175));
    m_check2 = Place(new QCheckBox(QStringLiteral("Ignore first line in file because it is a header row with no data"),
                                   m_frame4),
                     "Check2", twips(120, 360, 5535, 255));
    m_label2 = Place(new QLabel(QStringLiteral("Table Name:"), m_frame4), "Label2", twips(240, 720, 1215, 255));
    m_list1 = Place(new QListWidget(m_frame4), "List1", twips(1680, 720, 3735, 1185));
    // Every row is one line of text: a name added at the top during a run then
    // costs no measuring of all the others.
    m_list1->setUniformItemSizes(true);

    auto* start = Place(new QPushButton(QStringLiteral("Start Importing"), this), "PushButton1",
                        twips(120, 7680, 6120, 405), 11.25);
    auto* setup = Place(new QPushButton(QStringLiteral("Setup Connection"), this), "PushButton5",
                        twips(120, 8190, 6120, 405), 11.25);

    // Below the original controls: how the files' text is read.
    m_quoted = Place(new QCheckBox(QStringLiteral("Fields may be in double quotes"), this), "CheckQuoted",
                     twips(240, 8700, 3135, 330));
    m_encodingLabel = Place(new QLabel(QStringLiteral("Encoding:"), this), "LabelEncoding", twips(3480, 8738, 975, 255));
    m_encoding = Place(new QComboBox(this), "ComboEncoding", twips(4455, 8700, 1785, 330));
    MakeEncodingBox(m_encoding);
    Remember(m_quoted, kQuotedFieldsKey);
    Remember(m_encoding, kEncodingKey);

    BuildProgressControls();
    BuildNewTableControls();
    BuildLookControls();
    FitAddedControls();

    // One group: nested inside the same frame as the create options, the
    // two modes alone could end up both chosen or neither.
    m_modes = new QButtonGroup(this);
    m_modes->addButton(m_option1);
    m_modes->addButton(m_option2);
    m_option1->setChecked(true);
    m_option3->setChecked(true);
    ApplyMode();

    // Tab order as designed: list, separator, modes, options, table list,
    // buttons; then the controls added below them.
    QWidget* order[] = {m_files, m_text3, m_option1, m_option3, m_text2, m_check2, m_list1, m_option4,
                        m_option2, add, addAll, help, m_separators, start, setup, m_quoted, m_encoding, m_status,
                        m_stop, findChild<QPushButton*>(QStringLiteral("PushButtonPreview")),
                        findChild<QPushButton*>(QStringLiteral("PushButtonCheck")), m_types, m_keepLetters, m_resume,
                        m_clearList};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (QPushButton* button : {start, add, addAll, setup, help, m_stop})
        m_pointer->ShowsHandOver(button);
    for (QWidget* control : std::initializer_list<QWidget*>{this, m_frame1, m_frame2, m_frame3, m_frame4, m_label1,
                                                            m_list1, m_text3, m_encodingLabel, m_typesLabel})
        m_pointer->ShowsDefaultOver(control);
    m_files->SetWindowPointer([this] { return m_pointer->IsBusy(); },
                              [this] { m_pointer->SetPointer(PointerStyle::Default); });
    m_files->SetDragPointerImage(ProgramFile(ProgramFolder(), QLatin1String(kDragPointerFile)));
    m_files->onDrop = [this](const std::vector<std::string>& paths) { AddDropped(paths); };

    connect(m_option1, &QRadioButton::toggled, this, [this] { ApplyMode(); });
    connect(start, &QPushButton::clicked, this, &MainWindow::PushButton1_Click);
    connect(add, &QPushButton::clicked, this, &MainWindow::PushButton3_Click);
    connect(addAll, &QPushButton::clicked, this, &MainWindow::PushButton4_Click);
    connect(setup, &QPushButton::clicked, this, &MainWindow::PushButton5_Click);
    connect(help, &QPushButton::clicked, this, &MainWindow::PushButton6_Click);
}

// Below the preview: what a new table's columns are made of; then, for either mode, whether the run
// remembers what it imported.
void MainWindow::BuildNewTableControls()
{
    auto twips = [this](int left, int top, int width, int height) { return TwipsRect(left, top, width, height, this); };
    m_typesLabel = Place(new QLabel(QStringLiteral("Column types:"), this), "LabelTypes", twips(240, 10938, 1335, 255));
    m_types = Place(new QComboBox(this), "ComboTypes", twips(1680, 10900, 2535, 330));
    m_types->addItems({QStringLiteral("All text"), QStringLiteral("Guess from the data")});
    m_keepLetters = Place(new QCheckBox(QStringLiteral("Keep letters of every alphabet in column names"), this),
                          "CheckKeepLetters", twips(240, 11300, 4560, 330));
    Remember(m_types, kColumnTypesKey);
    Remember(m_keepLetters, kKeepLettersKey);
    m_resume = Place(new QCheckBox(QStringLiteral("Remember what was imported and go on from there"), this),
                     "CheckResume", twips(240, 11660, 6000, 330));
    Remember(m_resume, kResumeKey);

    // Beside these, at the right, so that the window grows no taller: what the file list holds, and a
    // way to empty it at once.
    m_clearList = Place(new QPushButton(QStringLiteral("Clear List"), this), "PushButtonClearList",
                        twips(4440, 10880, 1800, 405), 11.25);
    m_fileCount = Place(new QLabel(this), "LabelFileCount", twips(4800, 11338, 1440, 255));
    m_fileCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const auto count = [this] {
        const int files = m_files->topLevelItemCount();
        m_fileCount->setText(files == 1 ? QStringLiteral("1 file")
                                        : QStringLiteral("%1 files").arg(QLocale(QLocale::English).toString(files)));
        m_clearList->setEnabled(files > 0 && !m_run);
    };
    connect(m_files->model(), &QAbstractItemModel::rowsInserted, this, count);
    connect(m_files->model(), &QAbstractItemModel::rowsRemoved, this, count);
    connect(m_files->model(), &QAbstractItemModel::modelReset, this, count);
    count();
    connect(m_clearList, &QPushButton::clicked, this, [this] {
        if (!m_run && !m_pointer->IsBusy())
            m_files->clear();
    });
    m_files->locked = [this] { return m_run != nullptr; };
}

// A box ticked as it was left, "1" when ticked.
void MainWindow::Remember(QCheckBox* box, const char* key)
{
    box->setChecked(m_settings.Get(QLatin1String(key)) == QLatin1String("1"));
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) {
        m_settings.Save(QLatin1String(key), on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

// A choice as it was left, by its caption.
void MainWindow::Remember(QComboBox* choice, const char* key)
{
    const QString text = m_settings.Get(QLatin1String(key));
    if (const int saved = choice->findText(text); saved >= 0)
        choice->setCurrentIndex(saved);
    else if (choice->isEditable() && !text.isEmpty())
        choice->setCurrentText(text);  // a name typed in
    connect(choice, &QComboBox::currentTextChanged, this,
            [this, key](const QString& caption) { m_settings.Save(QLatin1String(key), caption); });
}

// While a run goes on nothing may change what it reads or where it writes: only the preview, Stop
// and the status line stay in reach; the list keeps its entries and their order.
void MainWindow::LockForRun(bool locked)
{
    for (const char* name : {"PushButton3", "PushButton4", "PushButton5"})
        findChild<QPushButton*>(QLatin1String(name))->setEnabled(!locked);
    // A check under way keeps its button off till its end.
    findChild<QPushButton*>(QStringLiteral("PushButtonCheck"))->setEnabled(!locked && !Checking());
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_option1, m_option2, m_option3, m_option4, m_label5, m_text2, m_check2, m_label2, m_list1, m_text3,
             m_separators, m_quoted, m_encoding, m_typesLabel, m_types, m_keepLetters, m_resume})
        control->setEnabled(!locked);
    m_clearList->setEnabled(!locked && m_files->topLevelItemCount() > 0);
    if (!locked)
        ApplyMode();
}

void MainWindow::BuildProgressControls()
{
    auto twips = [this](int left, int top, int width, int height) { return TwipsRect(left, top, width, height, this); };
    m_status = Place(new QLabel(this), "LabelStatus", twips(240, 9150, 4815, 780), 8);
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setTextFormat(Qt::RichText);
    m_status->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_status->setFocusPolicy(Qt::NoFocus);
    connect(m_status, &QLabel::linkActivated, this, [this] { OpenLog(); });

    m_stop = Place(new QPushButton(QStringLiteral("Stop"), this), "PushButtonStop", twips(5160, 9150, 1080, 405), 11.25);
    m_stop->setEnabled(false);
    connect(m_stop, &QPushButton::clicked, this, &MainWindow::StopImport);
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &MainWindow::StopImport);

    m_progress = Place(new QProgressBar(this), "ProgressImport", twips(240, 10020, 6000, 255), 8);
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
}

void MainWindow::ApplyMode()
{
    const bool create = m_option1->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_option3, m_option4, m_label5, m_text2, m_typesLabel, m_types, m_keepLetters})
        control->setEnabled(create);
    for (QWidget* control : std::initializer_list<QWidget*>{m_frame4, m_check2, m_label2, m_list1})
        control->setEnabled(!create);
}

void MainWindow::Form_Load()
{
    ++m_loads;
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "Form_Load"));
    steps.Run(100, [this] { ApplyWindowColours(this); });
    steps.Run(102, [this] { setWindowIcon(QIcon(ProgramFile(ProgramFolder(), QLatin1String(kAppIconFile)))); });
    steps.Run(104, [this] { m_text2->setText(QString::fromLatin1(kDefaultPattern)); });
    steps.Run(106, [this] { m_text3->setText(QString::fromLatin1(kDefaultSeparator)); });
    steps.Run(108, [this] { m_pointer->LoadHandPointer(); });
    steps.Run(110, [this] { setWindowTitle(QString::fromLatin1(kProductName)); });
    steps.Run(112, [this] { m_list1->clear(); });
    steps.Run(114, [this] { FillTableList(m_list1, m_dataSourceName()); });
    steps.Run(116, [this] {
        m_files->setColumnCount(1);
        m_files->setColumnWidth(0, TwipsToPixels(5000, this));
    });
}

ImportSettings MainWindow::CurrentSettings() const
{
    ImportSettings settings;
    settings.Files = m_files->ExactPaths();
    settings.Separator = m_text3->text().toStdString();
    settings.Mode = m_option1->isChecked() ? ImportMode::CreateNewTable : ImportMode::AppendToExistingTable;
    settings.ColumnNames = m_option3->isChecked() ? ColumnNameSource::FromFirstLine : ColumnNameSource::UserSpecified;
    settings.TableNamePattern = m_text2->text().toStdString();
    if (const auto selected = m_list1->selectedItems(); !selected.isEmpty())
        settings.TargetTable = selected.first()->text().toStdString();
    settings.IgnoreFirstLine = m_check2->isChecked();
    for (int i = 0; i < m_list1->count(); ++i)
        settings.TableList.push_back(m_list1->item(i)->text().toStdString());
    settings.DataSourceName = m_dataSourceName();
    settings.Quoted = m_quoted->isChecked();
    settings.Encoding = EncodingNamed(m_encoding->currentText());
    settings.GuessTypes = m_types->currentIndex() == 1;
    settings.KeepLetters = m_keepLetters->isChecked();
    settings.Resume = m_resume->isChecked();
    settings.ColumnPlans = m_plans;
    return settings;
}

void MainWindow::PushButton1_Click()
{
    // A second start while a run yields does nothing, as the core would do.
    if (m_run)
        return;
    ImportSettings settings = CurrentSettings();
    settings.LogFolder = DefaultLogFolder();
    WindowImportHost host(m_dialogs, *m_pointer, [this](const std::vector<std::string>& names) {
        // The newest first, in one change to the list.
        QStringList newest;
        for (auto name = names.rbegin(); name != names.rend(); ++name)
            newest << QString::fromStdString(*name);
        m_list1->insertItems(0, newest);
    });
    if (progressClock)
        host.clock = progressClock;
    host.onProgress = [this](const ImportProgress& progress) { ShowProgress(progress); };
    host.onEnded = [this, &host](const ImportSummary& summary) { ShowRunEnd(summary, host); };

    m_run = &host;
    m_logPath.clear();
    m_progress->setValue(0);
    SetStatus({});
    m_stop->setEnabled(true);
    m_escape->setEnabled(true);
    LockForRun(true);
    struct RunEnd {
        MainWindow& window;
        ~RunEnd()
        {
            window.m_run = nullptr;
            window.m_stop->setEnabled(false);
            window.m_escape->setEnabled(false);
            window.LockForRun(false);
        }
    };
    ImportSummary summary;
    {
        RunEnd end{*this};
        summary = RunImport(settings, host);
        host.FlushTables();
    }
    if (m_quitAfterRun) {
        m_quitAfterRun = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    // Files are counted once the checks pass: a run refused by them has no summary.
    if (summary.files == 0)
        return;
    ShowRunEnd(summary, host);  // again: reports held back after the final box count too
}

// The bar and the status line as the run ended, before its final box.
void MainWindow::ShowRunEnd(const ImportSummary& summary, const WindowImportHost& host)
{
    if (summary.files == 0)
        return;
    if (const auto& last = host.LastProgress())
        m_progress->setValue(ProgressStep(*last));
    if (!summary.stopped)
        m_progress->setValue(kProgressSteps);
    ShowSummary(summary, host.UnshownReports());
}

void MainWindow::StopImport()
{
    if (m_run)
        m_run->RequestStop();
}

void MainWindow::ShowProgress(const ImportProgress& progress)
{
    m_progress->setValue(ProgressStep(progress));
    SetStatus(Escaped(StatusText(progress)));
}

void MainWindow::SetStatus(const QString& text, bool linked)
{
    m_status->setText(text);
    m_status->setFocusPolicy(linked ? Qt::StrongFocus : Qt::NoFocus);
    m_status->setToolTip(linked ? m_logPath : QString());
    emit statusChanged(text);
}

void MainWindow::ShowSummary(const ImportSummary& summary, int unshownReports)
{
    QString text = Escaped(SummaryText(summary));
    m_logPath = QFile::decodeName(QByteArray::fromStdString(summary.logPath));
    if (!m_logPath.isEmpty())
        text = QStringLiteral("<a href=\"log\">%1</a>").arg(text);
    for (const std::string& problem : summary.problems)
        text += QStringLiteral("<br>") + Escaped(problem);
    if (unshownReports > 0) {
        const QString count = QLocale(QLocale::English).toString(unshownReports);
        text += QStringLiteral("<br>") + (unshownReports == 1 ? QStringLiteral("1 more error report not shown")
                                                              : count + QStringLiteral(" more error reports not shown"));
    }
    SetStatus(text, !m_logPath.isEmpty());
}

void MainWindow::OpenLog()
{
    if (m_logPath.isEmpty())
        return;
    // The oldest logs are removed as new runs keep theirs.
    if (!QFileInfo(m_logPath).isFile() || !openUrl || !openUrl(QUrl::fromLocalFile(m_logPath)))
        m_dialogs.Message("Could not open the log " + QFile::encodeName(m_logPath).toStdString() + ".");
}

void MainWindow::PushButton5_Click()
{
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "PushButton5_Click"));
    steps.Run(100, [this] {
        if (onSetupConnection)
            onSetupConnection();
    });
}

void MainWindow::PushButton6_Click()
{
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "PushButton6_Click"));
    steps.Run(100, [this] { m_dialogs.Message(MainHelpText().toStdString()); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Quitting mid-run would leave part of a file stored and the log cut off without a word.
    if (m_run) {
        event->ignore();
        if (m_dialogs.Message("Stop the import and quit?", BoxButtons::YesNo, BoxIcon::Question) == BoxAnswer::Yes) {
            m_quitAfterRun = true;
            m_run->StopToQuit();
        }
        return;
    }
    event->accept();
    if (onClose)
        onClose();
}

}  // namespace qb
