// The main window's controls, laid out as designed, and how they are wired;
// its initialisation, its help and its closing.
#include "gui/MainWindow.h"

#include "gui/Dialogs.h"
#include "gui/EncodingBox.h"
#include "gui/ErrorReportBox.h"
#include "gui/FileListView.h"
#include "gui/FillTableList.h"
#include "gui/LookAndFeel.h"
#include "gui/PlaceControl.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "gui/Twips.h"
#include "gui/WindowImportHost.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>

namespace qb {
namespace {

const char* const kDefaultPattern = "NewTable[counter]";
const char* const kDefaultSeparator = ",";
// As many files at once as the command line takes.
constexpr int kMostJobs = 16;

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
                                      "presets of the button beside the box, and \u21E5 tab shows it is there (\u2423 space a space). The "
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
    // Tables made elsewhere show up without going back through Setup Connection.
    auto* refresh = Place(new QPushButton(QStringLiteral("Refresh"), m_frame4), "PushButtonRefreshTables",
                          twips(240, 1545, 1335, 360));
    refresh->setToolTip(QStringLiteral("Reads the data source's tables again (F5)."));

    auto* start = Place(new QPushButton(QStringLiteral("Start Importing"), this), "PushButton1",
                        twips(120, 7680, 6120, 405), 11.25);
    auto* setup = Place(new QPushButton(QStringLiteral("Setup Connection"), this), "PushButton5",
                        twips(120, 8190, 6120, 405), 11.25);

    // How the files' text is read.
    m_quoted = Named(new QCheckBox(QStringLiteral("Fields may be in double quotes"), this), "CheckQuoted");
    m_encodingLabel = Named(new QLabel(QStringLiteral("Encoding:"), this), "LabelEncoding");
    m_encoding = Named(new QComboBox(this), "ComboEncoding");
    MakeEncodingBox(m_encoding);
    Remember(m_quoted, kQuotedFieldsKey);
    Remember(m_encoding, kEncodingKey);

    BuildProgressControls();
    BuildNewTableControls();
    BuildLineControls();
    BuildValueControls();
    BuildLookControls();
    BuildOptionsPanel();

    // One group: nested inside the same frame as the create options, the
    // two modes alone could end up both chosen or neither.
    m_modes = new QButtonGroup(this);
    m_modes->addButton(m_option1);
    m_modes->addButton(m_option2);
    m_option1->setChecked(true);
    if (!m_noHeader->isChecked())
        m_option3->setChecked(true);
    ApplyMode();

    // Tab order as designed: list, separator, modes, options, table list,
    // buttons; then the panel beside them, top to bottom.
    QWidget* order[] = {m_files, m_text3, m_option1, m_option3, m_text2, m_check2, m_list1, refresh, m_option4,
                        m_option2, add, addAll, help, m_separators, start, setup, m_quoted, m_quote, m_encoding,
                        m_skipLines, m_nullMarkers, m_trim, m_decimalComma, m_types, m_dates, m_keepLetters,
                        m_noHeader, m_ifExists, m_emptyFirst, m_byName, m_onDuplicate, m_resume, m_jobs, m_clearList,
                        findChild<QPushButton*>(QStringLiteral("PushButtonPreview")),
                        findChild<QPushButton*>(QStringLiteral("PushButtonCheck")), m_status, m_stop};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (QPushButton* button : {start, add, addAll, setup, help, m_stop, refresh})
        m_pointer->ShowsHandOver(button);
    for (QWidget* control : std::initializer_list<QWidget*>{this, m_frame1, m_frame2, m_frame3, m_frame4, m_label1,
                                                            m_list1, m_text3, m_encodingLabel, m_typesLabel,
                                                            m_ifExistsLabel, m_datesLabel, m_skipLinesLabel,
                                                            m_jobsLabel})
        m_pointer->ShowsDefaultOver(control);
    m_files->SetWindowPointer([this] { return m_pointer->IsBusy(); },
                              [this] { m_pointer->SetPointer(PointerStyle::Default); });
    m_files->SetDragPointerImage(ProgramFile(ProgramFolder(), QLatin1String(kDragPointerFile)));
    m_files->onDrop = [this](const std::vector<std::string>& paths) { AddDropped(paths); };

    connect(m_option1, &QRadioButton::toggled, this, [this] { ApplyMode(); });
    connect(m_check2, &QCheckBox::toggled, this, [this] { ApplyMode(); });
    connect(start, &QPushButton::clicked, this, &MainWindow::PushButton1_Click);
    connect(add, &QPushButton::clicked, this, &MainWindow::PushButton3_Click);
    connect(addAll, &QPushButton::clicked, this, &MainWindow::PushButton4_Click);
    connect(setup, &QPushButton::clicked, this, &MainWindow::PushButton5_Click);
    connect(help, &QPushButton::clicked, this, &MainWindow::PushButton6_Click);
    connect(refresh, &QPushButton::clicked, this, &MainWindow::RefreshTables);
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, &MainWindow::RefreshTables);
}

// What a new table's columns are made of; then, for either mode, whether the run remembers what it
// imported and how many files it reads at once; and what the file list holds, with a way to empty it at once.
void MainWindow::BuildNewTableControls()
{
    m_typesLabel = Named(new QLabel(QStringLiteral("Column types:"), this), "LabelTypes");
    m_types = Named(new QComboBox(this), "ComboTypes");
    m_types->addItems({QStringLiteral("All text"), QStringLiteral("Guess from the data")});
    m_keepLetters = Named(new QCheckBox(QStringLiteral("Keep letters of every alphabet in column names"), this),
                          "CheckKeepLetters");
    Remember(m_types, kColumnTypesKey);
    Remember(m_keepLetters, kKeepLettersKey);
    m_resume = Named(new QCheckBox(QStringLiteral("Remember what was imported and go on from there"), this),
                     "CheckResume");
    Remember(m_resume, kResumeKey);
    m_jobsLabel = Named(new QLabel(QStringLiteral("Parallel files:"), this), "LabelJobs");
    m_jobs = Named(new QSpinBox(this), "SpinJobs");
    m_jobs->setRange(0, kMostJobs);
    m_jobs->setSpecialValueText(QStringLiteral("auto"));
    m_jobs->setValue(m_settings.Get(QLatin1String(kJobsKey)).toInt());
    connect(m_jobs, &QSpinBox::valueChanged, this,
            [this](int jobs) { m_settings.Save(QLatin1String(kJobsKey), QString::number(jobs)); });
    m_ifExistsLabel = Named(new QLabel(QStringLiteral("If the table exists:"), this), "LabelIfExists");
    m_ifExists = Named(new QComboBox(this), "ComboIfExists");
    m_ifExists->addItems({QStringLiteral("Stop"), QStringLiteral("Append to it"), QStringLiteral("Replace it")});
    Remember(m_ifExists, kIfExistsKey);
    m_emptyFirst = Named(new QCheckBox(QStringLiteral("Empty the table first"), this), "CheckEmptyFirst");
    Remember(m_emptyFirst, kEmptyFirstKey);
    m_onDuplicateLabel = Named(new QLabel(QStringLiteral("On a duplicate key:"), this), "LabelOnDuplicate");
    m_onDuplicate = Named(new QComboBox(this), "ComboOnDuplicate");
    m_onDuplicate->addItems(
        {QStringLiteral("Refuse the line"), QStringLiteral("Keep the row there"), QStringLiteral("Update the row")});
    Remember(m_onDuplicate, kOnDuplicateKey);
    m_byName = Named(new QCheckBox(QStringLiteral("Match columns by name"), this), "CheckByName");
    Remember(m_byName, kMatchByNameKey);
    m_datesLabel = Named(new QLabel(QStringLiteral("Dates:"), this), "LabelDates");
    m_dates = Named(new QComboBox(this), "ComboDates");
    m_dates->addItem(QStringLiteral("Guess"));
    for (const char* form : {"DD.MM.YYYY", "DD/MM/YYYY", "MM/DD/YYYY", "YYYY/MM/DD", "DD.MM.YYYY HH:MM",
                             "DD/MM/YYYY HH:MM", "MM/DD/YYYY HH:MM", "MM/DD/YYYY HH:MM AM/PM", "MON D YYYY",
                             "DD MON YYYY"})
        m_dates->addItem(QString::fromLatin1(form));
    Remember(m_dates, kDateFormatKey);

    m_clearList = Named(new QPushButton(QStringLiteral("Clear List"), this), "PushButtonClearList", 11.25);
    m_fileCount = Named(new QLabel(this), "LabelFileCount");
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

void MainWindow::ApplyMode()
{
    const bool create = m_option1->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_option3, m_option4, m_label5, m_text2, m_typesLabel, m_types, m_keepLetters,
                                         m_ifExistsLabel, m_ifExists, m_datesLabel, m_dates, m_noHeader})
        control->setEnabled(create);
    for (QWidget* control : std::initializer_list<QWidget*>{m_frame4, m_check2, m_label2, m_list1, m_emptyFirst})
        control->setEnabled(!create);
    for (QWidget* control : std::initializer_list<QWidget*>{m_onDuplicateLabel, m_onDuplicate})
        control->setEnabled(!create);
    // Names come only from a header.
    m_byName->setEnabled(!create && m_check2->isChecked());
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

void MainWindow::RefreshTables()
{
    if (m_run)
        return;  // the run puts the tables it makes on the list
    const auto chosen = m_list1->selectedItems();
    const QString table = chosen.isEmpty() ? QString() : chosen.first()->text();
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "RefreshTables"));
    steps.Run(100, [this] {
        m_tableColumns.clear();  // a table may have been made again with other columns
        FillTableList(m_list1, m_dataSourceName());
    });
    if (const auto same = m_list1->findItems(table, Qt::MatchExactly); !table.isEmpty() && !same.isEmpty())
        m_list1->setCurrentItem(same.first());
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
