// The run: starting it, its status line, progress bar and Stop, the controls
// locked meanwhile, and the summary with its link to the log.
#include "gui/MainWindow.h"

#include "gui/Dialogs.h"
#include "gui/FileListView.h"
#include "gui/PlaceControl.h"
#include "gui/PointerRule.h"
#include "gui/WindowImportHost.h"
#include "run/ImportRun.h"
#include "run/RunTexts.h"
#include "run/LogAndRejects.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>

#include <utility>
#include <QToolButton>

namespace qb {
namespace {

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

void MainWindow::BuildProgressControls()
{
    m_status = Named(new QLabel(this), "LabelStatus", 8);
    m_status->setWordWrap(true);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_status->setTextFormat(Qt::RichText);
    m_status->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_status->setFocusPolicy(Qt::NoFocus);
    connect(m_status, &QLabel::linkActivated, this, [this] { OpenLog(); });

    m_stop = Named(new QPushButton(QStringLiteral("Stop"), this), "PushButtonStop", 11.25);
    m_stop->setEnabled(false);
    connect(m_stop, &QPushButton::clicked, this, &MainWindow::StopImport);
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &MainWindow::StopImport);

    m_progress = Named(new QProgressBar(this), "ProgressImport", 8);
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
}

// While a run goes on nothing may change what it reads or where it writes: only the preview, Stop
// and the status line stay in reach; the list keeps its entries and their order.
void MainWindow::LockForRun(bool locked)
{
    // Start too: pressed again during the run it does nothing, so it looks it.
    for (const char* name : {"PushButton1", "PushButton3", "PushButton4", "PushButton5", "PushButtonRefreshTables",
                             "PushButtonSaveProfile", "PushButtonLoadProfile"})
        findChild<QPushButton*>(QLatin1String(name))->setEnabled(!locked);
    // A check under way keeps its button off till its end.
    findChild<QPushButton*>(QStringLiteral("PushButtonCheck"))->setEnabled(!locked && !Checking());
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_option1, m_option2, m_option3, m_option4, m_label5, m_text2, m_check2, m_label2, m_list1, m_text3,
             m_separators, m_quoted, m_encodingLabel, m_encoding, m_typesLabel, m_types, m_keepLetters, m_resume,
             m_jobsLabel, m_jobs, m_ifExistsLabel, m_ifExists, m_emptyFirst, m_byName, m_datesLabel, m_dates,
             m_nullLabel, m_nullMarkers, m_trim, m_decimalComma, m_noHeader, m_skipLinesLabel, m_skipLines, m_quote})
        control->setEnabled(!locked);
    for (QWidget* control : std::initializer_list<QWidget*>{m_onDuplicateLabel, m_onDuplicate})
        control->setEnabled(!locked);
    m_clearList->setEnabled(!locked && m_files->topLevelItemCount() > 0);
    if (!locked)
        ApplyMode();
}

void MainWindow::PushButton1_Click()
{
    // A second start while a run yields does nothing, as the core would do.
    if (m_run)
        return;
    ImportSettings settings = CurrentSettings();
    settings.LogFolder = DefaultLogFolder();
    settings.ReplaceTables = std::exchange(m_replaceNext, {});
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
    host.onShowLog = [this] { OpenLog(); };
    // A stopped run that kept no record can be run again. Replacing is offered only for tables the run
    // made itself: rows appended to a table that was there before cannot be told from its own.
    host.offerRemembering = !settings.Resume;
    host.offerReplacing = !settings.Resume && settings.Mode == ImportMode::CreateNewTable;

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
    RunAgain(host);
}

// As the stopped run's box was answered: its tables dropped and made again, or remembering from now on.
void MainWindow::RunAgain(const WindowImportHost& host)
{
    if (host.Next() == BoxAnswer::RunReplacing) {
        for (const std::string& made : host.Made()) {
            const QString name = QString::fromStdString(made);
            for (int row = m_list1->count() - 1; row >= 0; --row) {
                if (m_list1->item(row)->text() == name)
                    delete m_list1->takeItem(row);
            }
        }
        m_replaceNext = host.Made();
    } else if (host.Next() == BoxAnswer::RunRemembering) {
        m_resume->setChecked(true);
    } else {
        return;
    }
    PushButton1_Click();
}

// The bar and the status line as the run ended, before its final box.
void MainWindow::ShowRunEnd(const ImportSummary& summary, const WindowImportHost& host)
{
    // The run is over: its final box has nothing left to stop.
    m_stop->setEnabled(false);
    m_escape->setEnabled(false);
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

}  // namespace qb
