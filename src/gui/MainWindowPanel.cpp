// The panel beside the original controls: the options, grouped by what they decide, then the file
// count, Preview and Check, and the run's status line and progress bar. The original controls keep
// their places and the window its height; the panel's layouts size everything to its text, whatever
// the font, and the options scroll when there are more than fit.
#include "gui/MainWindow.h"

#include "gui/FileListView.h"
#include "gui/PointerRule.h"
#include "gui/Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {
namespace {

// The original client area, in twips: the window is as tall, and the panel starts at its right.
constexpr int kOriginalWidth = 6345;
constexpr int kOriginalHeight = 8685;

// A group titled by what its options decide, its rows as a form: a label before its field, or one
// control across the row.
QGroupBox* Group(const QString& title, const char* name, std::initializer_list<std::pair<QWidget*, QWidget*>> rows,
                 QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setFont(BoldFont(9));
    auto* form = new QFormLayout(group);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    for (const auto& [label, field] : rows) {
        if (field)
            form->addRow(label, field);
        else
            form->addRow(label);
    }
    return group;
}

// A hidden widget hears of its new size only once shown: lay it out now, parents first, so that what
// asks for a control's place before then gets the one it will have.
void LayOutNow(QWidget* widget)
{
    if (QLayout* layout = widget->layout())
        layout->setGeometry(widget->contentsRect());
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        LayOutNow(child);
}

}  // namespace

void MainWindow::BuildOptionsPanel()
{
    m_quoted->setToolTip(QStringLiteral(
        "Reads a field in double quotes as one value, even when it holds the separator or line breaks."));
    m_encoding->setToolTip(QStringLiteral(
        "The character set the files are written in, converted to UTF-8; Auto reads each file as what it is."));
    m_encodingLabel->setToolTip(m_encoding->toolTip());
    m_types->setToolTip(QStringLiteral(
        "Gives a new table's columns the narrowest type that takes every value of the file, or makes them all text."));
    m_typesLabel->setToolTip(m_types->toolTip());
    m_keepLetters->setToolTip(QStringLiteral(
        "Keeps the letters and digits of every alphabet and the underscore in new column names, not only A to Z "
        "and 0 to 9."));
    m_onDuplicate->setToolTip(QStringLiteral(
        "Says what an appended line does whose key the table holds already: refused, skipped, or its values "
        "written over the row's."));
    m_onDuplicateLabel->setToolTip(m_onDuplicate->toolTip());
    m_byName->setToolTip(QStringLiteral(
        "Sends each column of the file to the table's column its header names, whatever their order."));
    m_dates->setToolTip(QStringLiteral(
        "Reads dates not written as YYYY-MM-DD in the form chosen, or guesses each column's form from its values."));
    m_datesLabel->setToolTip(m_dates->toolTip());
    m_resume->setToolTip(QStringLiteral(
        "Skips files imported before and goes on after the last stored line of one cut short."));
    m_jobs->setToolTip(QStringLiteral(
        "Reads and sends several files at once, each over a connection of its own; their reports stay in the "
        "list's order."));
    m_jobsLabel->setToolTip(m_jobs->toolTip());
    m_ifExists->setToolTip(QStringLiteral(
        "Decides whether a file whose new table exists is skipped, appended to that table, or loaded into it made "
        "again."));
    m_ifExistsLabel->setToolTip(m_ifExists->toolTip());
    m_emptyFirst->setToolTip(QStringLiteral(
        "Deletes the table's rows in the transaction of the first rows stored, so a run that stores none keeps them."));

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("PanelOptions"));
    auto* scroll = new QScrollArea(panel);
    scroll->setObjectName(QStringLiteral("ScrollOptions"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    // Its options are the tab stops; the area itself would be one that shows nothing.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* options = new QWidget(scroll);
    options->setObjectName(QStringLiteral("Options"));
    options->setAutoFillBackground(false);
    // Two columns of groups side by side: the window grows wider, within a laptop's screen, not taller.
    auto* groups = new QHBoxLayout(options);
    groups->setContentsMargins(0, 0, 0, 0);
    auto* first = new QVBoxLayout;
    auto* second = new QVBoxLayout;
    groups->addLayout(first);
    groups->addLayout(second);
    auto* reading = Group(QStringLiteral("Reading the file"), "GroupReading",
                          {{m_quoted, m_quote}, {m_encodingLabel, m_encoding}, {m_skipLinesLabel, m_skipLines},
                           {m_nullLabel, m_nullMarkers}, {m_trim, nullptr}, {m_decimalComma, nullptr}},
                          options);
    auto* table = Group(QStringLiteral("New table"), "GroupTable",
                        {{m_typesLabel, m_types},
                         {m_datesLabel, m_dates},
                         {m_keepLetters, nullptr},
                         {m_noHeader, nullptr},
                         {m_ifExistsLabel, m_ifExists}},
                        options);
    auto* appending = Group(QStringLiteral("Appending"), "GroupAppending",
                            {{m_emptyFirst, nullptr}, {m_byName, nullptr}, {m_onDuplicateLabel, m_onDuplicate}}, options);
    auto* run = Group(QStringLiteral("The run"), "GroupRun", {{m_resume, nullptr}, {m_jobsLabel, m_jobs}}, options);
    for (QGroupBox* group : {reading, run})
        first->addWidget(group);
    for (QGroupBox* group : {table, appending})
        second->addWidget(group);
    first->addStretch();
    second->addStretch();
    scroll->setWidget(options);

    auto* preview = findChild<QPushButton*>(QStringLiteral("PushButtonPreview"));
    auto* check = findChild<QPushButton*>(QStringLiteral("PushButtonCheck"));
    // Room for the count of a long list.
    m_fileCount->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_fileCount->setMinimumWidth(m_fileCount->fontMetrics().horizontalAdvance(QStringLiteral("99,999 files")) + 2);
    auto* files = new QHBoxLayout;
    files->addWidget(m_fileCount);
    files->addStretch();
    files->addWidget(m_clearList);
    auto* look = new QHBoxLayout;
    look->addWidget(preview);
    look->addWidget(check);
    // The status line wraps in whatever room Stop leaves it, and has room for a summary and two notes.
    m_status->setMinimumHeight(4 * m_status->fontMetrics().lineSpacing());
    auto* status = new QHBoxLayout;
    status->addWidget(m_status, 1, Qt::AlignTop);
    status->addWidget(m_stop, 0, Qt::AlignTop);

    // Profiles beside the options they keep.
    auto* saveProfile = new QPushButton(QStringLiteral("Save Profile..."), panel);
    saveProfile->setObjectName(QStringLiteral("PushButtonSaveProfile"));
    saveProfile->setToolTip(QStringLiteral("Saves these options under a name, for the window or quillbarrow-import --profile."));
    connect(saveProfile, &QPushButton::clicked, this, &MainWindow::SaveProfile_Click);
    auto* loadProfile = new QPushButton(QStringLiteral("Load Profile..."), panel);
    loadProfile->setObjectName(QStringLiteral("PushButtonLoadProfile"));
    loadProfile->setToolTip(QStringLiteral("Sets the options from a profile saved before."));
    connect(loadProfile, &QPushButton::clicked, this, &MainWindow::LoadProfile_Click);
    auto* profiles = new QHBoxLayout;
    profiles->addStretch();
    profiles->addWidget(saveProfile);
    profiles->addWidget(loadProfile);

    auto* column = new QVBoxLayout(panel);
    // As far from the window's right edge as the original frames are from its left; level with the
    // original controls' top and bottom.
    column->setContentsMargins(0, 0, TwipsToPixels(120, this), TwipsToPixels(90, this));
    column->addLayout(profiles);
    column->addWidget(scroll, 1);
    column->addLayout(files);
    column->addLayout(look);
    // The bar first: the status line's room, empty until a run, is then no gap above it.
    column->addWidget(m_progress);
    column->addLayout(status);

    // As wide as the widest of its contents, and as tall as the original window; a scroll bar only
    // when the options outgrow that height.
    const int left = TwipsToPixels(kOriginalWidth, this);
    const int height = TwipsToPixels(kOriginalHeight, this);
    panel->ensurePolished();
    int bar = 0;
    for (int pass = 0; pass < 2; ++pass) {
        scroll->setMinimumWidth(options->sizeHint().width() + bar);
        panel->setGeometry(left, 0, panel->sizeHint().width(), height);
        LayOutNow(panel);
        if (scroll->height() >= options->sizeHint().height())
            break;
        bar = scroll->verticalScrollBar()->sizeHint().width();
    }
    options->setGeometry(0, 0, scroll->width() - bar, std::max(scroll->height(), options->sizeHint().height()));
    LayOutNow(options);
    setFixedSize(left + panel->width(), height);

    m_pointer->ShowsHandOver(m_clearList);
    m_pointer->ShowsHandOver(saveProfile);
    m_pointer->ShowsHandOver(loadProfile);
    for (QWidget* control : std::initializer_list<QWidget*>{panel, options, scroll->viewport(), reading, table,
                                                            appending, run, m_onDuplicateLabel})
        m_pointer->ShowsDefaultOver(control);
}

}  // namespace qb
