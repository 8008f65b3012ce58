#include "gui/CheckWindow.h"

#include "run/RunTexts.h"
#include "read/TextDecoder.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>
#include <system_error>

namespace qb {
namespace {

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(text);
    return item;
}

}  // namespace

QString VisibleStart(const std::string& bytes, int characters)
{
    QString shown;
    std::size_t i = 0;
    for (int count = 0; i < bytes.size() && count < characters; ++count) {
        const std::size_t length = Utf8SequenceLength(bytes, i);
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (length == 0)
            shown += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else if (byte < 0x20)
            shown += QChar(0x2400 + byte);  // the Control Pictures block: ␉, ␍, ␊
        else if (byte == 0x7F)
            shown += QChar(0x2421);
        else
            shown += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
        i += length == 0 ? 1 : length;
    }
    if (i < bytes.size())
        shown += QChar(0x2026);
    return shown;
}

CheckWindow::CheckWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("CheckWindow"));
    setWindowTitle(QStringLiteral("Check"));
    resize(960, 440);
    m_cancelled = new QLabel(QStringLiteral("Check cancelled."), this);
    m_cancelled->setObjectName(QStringLiteral("CheckCancelled"));
    QFont bold = m_cancelled->font();
    bold.setBold(true);
    m_cancelled->setFont(bold);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("CheckSummary"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_clean = new QLabel(this);
    m_clean->setObjectName(QStringLiteral("CheckClean"));
    m_grid = new QTableWidget(0, 4, this);
    m_grid->setObjectName(QStringLiteral("CheckGrid"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("File"), QStringLiteral("Line"), QStringLiteral("Reason"), QStringLiteral("First bytes")});
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setAlternatingRowColors(true);
    m_grid->setWordWrap(false);
    m_grid->setTextElideMode(Qt::ElideMiddle);  // a long path keeps its file's name in sight
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setColumnWidth(FileColumn, 240);
    m_grid->setColumnWidth(LineColumn, 60);
    m_grid->setColumnWidth(ReasonColumn, 280);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CheckClose"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_cancelled);
    layout->addWidget(m_summary);
    layout->addWidget(m_clean);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
}

void CheckWindow::SetRow(int row, const QString& file, const QString& outcome, long line, const QString& reason,
                         const QString& text)
{
    auto* path = Cell(file);
    path->setToolTip(outcome);
    m_grid->setItem(row, FileColumn, path);
    auto* number = Cell(line > 0 ? QString::number(line) : QString());
    number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_grid->setItem(row, LineColumn, number);
    m_grid->setItem(row, ReasonColumn, Cell(reason));
    auto* bytes = Cell(text);
    bytes->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));  // the bytes' columns line up
    m_grid->setItem(row, TextColumn, bytes);
}

void CheckWindow::Show(const DryRunResult& result)
{
    m_cancelled->setVisible(result.cancelled);
    m_summary->setText(QString::fromStdString(DryRunSummary(result)));
    // A file cut short by cancelling is not known to be clean.
    const auto isClean = [](const DryRunFile& file) {
        return file.finished && !file.skipped && file.mismatched == 0 && file.warning.empty();
    };
    int rows = 0;
    for (const DryRunFile& file : result.files)
        if (!isClean(file))
            rows += int(file.skipped) + int(!file.warning.empty()) + static_cast<int>(file.problems.size()) +
                    int(file.unlisted > 0);
    m_grid->setRowCount(0);
    m_grid->setRowCount(rows);  // at once: a row at a time lays the grid out again for each
    int row = 0;
    long clean = 0;
    QStringList cleanLines;
    for (const DryRunFile& file : result.files) {
        // What the import would do with the file all the same, guessed types included.
        const QString outcome = QString::fromStdString(DryRunLine(file));
        if (isClean(file)) {
            ++clean;
            cleanLines << outcome;
            continue;
        }
        const QString path = QFile::decodeName(QByteArray::fromStdString(file.path));
        if (file.skipped)
            SetRow(row++, path, outcome, 0, QString::fromStdString(file.outcome), {});
        if (!file.warning.empty())
            SetRow(row++, path, outcome, 0, QStringLiteral("Warning: ") + QString::fromStdString(file.warning), {});
        for (const DryRunProblem& problem : file.problems)
            SetRow(row++, path, outcome, problem.line, QString::fromStdString(problem.reason),
                   VisibleStart(problem.text));
        if (file.unlisted > 0)
            SetRow(row++, path, outcome, 0,
                   QString::fromStdString(GroupedNumber(file.unlisted) +
                                          (file.unlisted == 1 ? " more mismatched record" : " more mismatched records")),
                   {});
    }
    m_clean->setText(clean == 0   ? QStringLiteral("No file is clean.")
                     : clean == 1 ? QStringLiteral("1 file is clean.")
                                  : QString::fromStdString(GroupedNumber(clean)) + QStringLiteral(" files are clean."));
    // What each clean file would come to, as the file cells tell it of the others.
    m_clean->setToolTip(cleanLines.join(QLatin1Char('\n')));
    m_grid->setVisible(m_grid->rowCount() > 0);
}

BackgroundCheck::BackgroundCheck(ImportSettings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings))
{
}

BackgroundCheck::~BackgroundCheck()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundCheck::Start()
{
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error& error) {
        m_result.refusal = std::string("Cannot start the check: ") + error.what();
        QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
    }
}

void BackgroundCheck::Run()
{
    DryRunControl control;
    control.cancel = &m_cancel;
    control.onFile = [this](int file, int files, const std::string& path) {
        const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
        QMetaObject::invokeMethod(
            this, [this, file, files, shown] { emit fileStarted(file, files, shown); }, Qt::QueuedConnection);
    };
    DryRunResult result;
    try {
        result = DryRun(m_settings, control);
    } catch (const std::exception& error) {
        result = {};
        result.refusal = error.what();
    }
    // Read on the window's thread only after finished arrives, which the event queue orders after this.
    m_result = std::move(result);
    QMetaObject::invokeMethod(this, [this] { emit finished(); }, Qt::QueuedConnection);
}

}  // namespace qb
