#include "gui/CheckWindow.h"

#include "gui/Dialogs.h"
#include "run/RunTexts.h"
#include "read/TextDecoder.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

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

// A reason is read from its start.
class ElideRightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideRight;
    }
};

constexpr int kExactPathRole = Qt::UserRole;
constexpr int kFullTextRole = Qt::UserRole + 1;

// A file's bytes that a spreadsheet would run as a formula keep an apostrophe before them, so that
// opening the saved results runs nothing from the files checked.
QStringList SpreadsheetSafe(QStringList fields)
{
    for (QString& field : fields) {
        if (!field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field.front()))
            field.prepend(QLatin1Char('\''));
    }
    return fields;
}

}  // namespace

QString QuotedFields(const QStringList& fields, QChar separator)
{
    QStringList quoted;
    for (const QString& field : fields) {
        const bool quote = field.contains(separator) || field.contains(QLatin1Char('"')) ||
                           field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'));
        quoted << (quote ? QLatin1Char('"') + QString(field).replace(QLatin1String("\""), QLatin1String("\"\"")) +
                               QLatin1Char('"')
                         : field);
    }
    return quoted.join(separator);
}

QString ReasonWithoutPath(const QString& reason, const QString& path)
{
    if (path.isEmpty())
        return reason;
    QString shown = reason;
    shown.replace(QStringLiteral(" of ") + path, QString());
    return shown.replace(path, QFileInfo(path).fileName());
}

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

CheckWindow::CheckWindow(Dialogs& dialogs, QWidget* parent) : QWidget(parent, Qt::Window), m_dialogs(dialogs)
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
    m_grid->setItemDelegateForColumn(ReasonColumn, new ElideRightDelegate(m_grid));
    m_grid->installEventFilter(this);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenRow(row); });
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        const int row = m_grid->rowAt(at.y());
        if (row >= 0)
            menu.addAction(QStringLiteral("Open in Preview"), this, [this, row] { OpenRow(row); });
        menu.addAction(QStringLiteral("Copy"), QKeySequence::Copy, this, &CheckWindow::CopyRows);
        menu.addAction(QStringLiteral("Save as CSV..."), this, &CheckWindow::SaveCsv);
        menu.exec(m_grid->viewport()->mapToGlobal(at));
    });

    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setObjectName(QStringLiteral("CheckCopy"));
    connect(copy, &QPushButton::clicked, this, &CheckWindow::CopyRows);
    auto* save = new QPushButton(QStringLiteral("Save as CSV..."), this);
    save->setObjectName(QStringLiteral("CheckSaveCsv"));
    connect(save, &QPushButton::clicked, this, &CheckWindow::SaveCsv);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CheckClose"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_cancelled);
    layout->addWidget(m_summary);
    layout->addWidget(m_clean);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
}

void CheckWindow::SetRow(int row, const std::string& exactPath, const QString& file, const QString& outcome,
                         long line, const QString& reason, const QString& text)
{
    auto* path = Cell(file);
    path->setToolTip(outcome);
    path->setData(kExactPathRole, QByteArray::fromStdString(exactPath));
    m_grid->setItem(row, FileColumn, path);
    auto* number = Cell(line > 0 ? QString::number(line) : QString());
    number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_grid->setItem(row, LineColumn, number);
    auto* why = Cell(ReasonWithoutPath(reason, file));
    why->setToolTip(reason);
    why->setData(kFullTextRole, reason);
    m_grid->setItem(row, ReasonColumn, why);
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
            SetRow(row++, file.path, path, outcome, 0, QString::fromStdString(file.outcome), {});
        if (!file.warning.empty())
            SetRow(row++, file.path, path, outcome, 0, QStringLiteral("Warning: ") + QString::fromStdString(file.warning),
                   {});
        for (const DryRunProblem& problem : file.problems)
            SetRow(row++, file.path, path, outcome, problem.line, QString::fromStdString(problem.reason),
                   VisibleStart(problem.text));
        if (file.unlisted > 0)
            SetRow(row++, file.path, path, outcome, 0,
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

QStringList CheckWindow::RowFields(int row) const
{
    return {m_grid->item(row, FileColumn)->text(), m_grid->item(row, LineColumn)->text(),
            m_grid->item(row, ReasonColumn)->data(kFullTextRole).toString(), m_grid->item(row, TextColumn)->text()};
}

void CheckWindow::CopyRows()
{
    std::set<int> rows;
    for (const QModelIndex& index : m_grid->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    if (rows.empty())
        for (int row = 0; row < m_grid->rowCount(); ++row)
            rows.insert(row);
    QString text;
    for (const int row : rows)
        text += QuotedFields(RowFields(row), QLatin1Char('\t')) + QLatin1Char('\n');
    QGuiApplication::clipboard()->setText(text);
}

void CheckWindow::SaveCsv()
{
    const std::string path = m_dialogs.SaveFile(
        {"Save as CSV", {"CSV Files (*.csv)", "All Files (*)"}, "check.csv", "csv"});
    if (path.empty())
        return;
    // A byte order mark, or spreadsheets read UTF-8 as their own code page; CR LF as they write it.
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += QuotedFields({QStringLiteral("File"), QStringLiteral("Line"), QStringLiteral("Reason"),
                           QStringLiteral("First bytes")},
                          QLatin1Char(',')).toUtf8() + "\r\n";
    for (int row = 0; row < m_grid->rowCount(); ++row)
        bytes += QuotedFields(SpreadsheetSafe(RowFields(row)), QLatin1Char(',')).toUtf8() + "\r\n";
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        m_dialogs.Message("Cannot save " + path + ": " + file.errorString().toStdString(), BoxButtons::Ok,
                          BoxIcon::Exclamation);
}

void CheckWindow::OpenRow(int row)
{
    if (row < 0 || row >= m_grid->rowCount() || !onOpen)
        return;
    onOpen(m_grid->item(row, FileColumn)->data(kExactPathRole).toByteArray().toStdString(),
           m_grid->item(row, LineColumn)->text().toLong());
}

bool CheckWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy)) {
            CopyRows();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OpenRow(m_grid->currentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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
