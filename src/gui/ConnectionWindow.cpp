#include "gui/ConnectionWindow.h"

#include "odbc/DataSources.h"
#include "odbc/Database.h"
#include "gui/LookAndFeel.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "gui/Twips.h"
#include "gui/Dialogs.h"
#include "gui/ErrorReportBox.h"

#include <QCloseEvent>
#include <QAbstractItemView>
#include <QCompleter>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>

namespace qb {
QString ConnectionHelpText()
{
    const char* const lines[] = {
        "Here is how I connected to my Sybase database.",
        "1. Downloaded and installed drivers: SQL Anywhere 10 for Windows (SQLAnywhere_1000_Windows.exe)",
        "2. Applied to the database vendor for a developer key; the vendor's staff helped me get it.",
        "3. Clicked to Start > Settings > Control Panel > Administrative Tools > Data Source (ODBC)",
        "4. Clicked 'Add...' ",
        "5. Selected 'SQL Anywhere 10'",
        "6. Filled in 'Data source name', 'User ID', 'Password', 'Server Name', 'TCP/IP' given to me by my "
        "administrator.",
        "7. Clicked 'Test Connection'.",
        "8. Filled in 'Data Source Name' in my program to be the same as 'Data source name' in Data Source (ODBC)",
        "9. Clicked 'Test Connection' in my program.",
    };
    QString text;
    for (const char* line : lines)
        text += QString::fromUtf8(line) + QStringLiteral("\r\r");
    text += QStringLiteral("On Linux, data sources are defined in ~/.odbc.ini (your own) and /etc/odbc.ini "
                           "(every user's); odbcinst -q -s lists them. The Data Source Name box offers "
                           "their names as you type.\r\r");
    // One entry per database the program knows, with the names their Debian drivers register.
    return text + QStringLiteral("For example, in ~/.odbc.ini:\r\r"
                                 "[Sales]\rDriver = SQLite3\rDatabase = /home/me/sales.db\r\r"
                                 "[Orders]\rDriver = PostgreSQL Unicode\rServername = localhost\rPort = 5432\r"
                                 "Database = orders\rUsername = me\rPassword = secret\r\r"
                                 "[Shop]\rDriver = MariaDB Unicode\rServer = localhost\rPort = 3306\r"
                                 "Database = shop\rUser = me\rPassword = secret\r\r");
}

ConnectionWindow::ConnectionWindow(SettingsStore& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs), m_pointer(new PointerRule(this)),
      m_reporter(std::make_unique<ErrorReportBox>(dialogs))
{
    setObjectName(QStringLiteral("Form1"));
    BuildControls();
}

ConnectionWindow::~ConnectionWindow() = default;

void ConnectionWindow::BuildControls()
{
    setFixedSize(TwipsToPixels(8040, this), TwipsToPixels(2190, this));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    m_frame1 = new QGroupBox(QStringLiteral("Sybase iAnywhere Database"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(TwipsRect(120, 120, 7800, 1410, this));
    m_frame1->setFont(BoldFont(9));
    m_frame1->setAutoFillBackground(true);

    m_label1 = new QLabel(QStringLiteral("Data Source Name:"), m_frame1);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(TwipsRect(240, 405, 1695, 255, this));
    m_label1->setFont(BoldFont(9));

    m_text1 = new QLineEdit(m_frame1);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setGeometry(TwipsRect(2040, 360, 5510, 330, this));
    m_text1->setFont(BoldFont(9));

    auto button = [this](QWidget* parent, const char* name, const char* caption, QRect rect) {
        auto* pushButton = new QPushButton(QString::fromUtf8(caption), parent);
        pushButton->setObjectName(QString::fromUtf8(name));
        pushButton->setGeometry(rect);
        pushButton->setFont(BoldFont(11.25));
        m_pointer->ShowsHandOver(pushButton);
        return pushButton;
    };
    m_testButton = button(m_frame1, "PushButton7", "Test Connection", TwipsRect(240, 840, 3600, 405, this));
    m_helpButton = button(m_frame1, "PushButton6", "Help", TwipsRect(3960, 840, 3600, 405, this));
    m_nextButton = button(this, "PushButton3", "Next >", TwipsRect(120, 1650, 7800, 405, this));

    m_pointer->ShowsDefaultOver(this);
    m_pointer->ShowsDefaultOver(m_text1);
    m_pointer->ShowsDefaultOver(m_frame1);

    setTabOrder(m_text1, m_testButton);
    setTabOrder(m_testButton, m_helpButton);
    setTabOrder(m_helpButton, m_nextButton);
    m_text1->setFocus();
    m_text1->installEventFilter(this);

    m_completer = new QCompleter(new QStringListModel(this), this);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_text1->setCompleter(m_completer);
    // After the completer's own filter, which runs later: a filter installed last sees events first.
    m_completer->popup()->installEventFilter(this);
    RefreshDataSources();

    // Every change is kept at once, typed or assigned.
    connect(m_text1, &QLineEdit::textChanged, this, [this](const QString& text) { m_settings.SaveDataSourceName(text); });
    connect(m_testButton, &QPushButton::clicked, this, &ConnectionWindow::PushButton7_Click);
    connect(m_helpButton, &QPushButton::clicked, this, &ConnectionWindow::PushButton6_Click);
    connect(m_nextButton, &QPushButton::clicked, this, &ConnectionWindow::PushButton3_Click);
    connect(m_text1, &QLineEdit::returnPressed, this, &ConnectionWindow::PushButton3_Click);
}

void ConnectionWindow::RefreshDataSources()
{
    QStringList names;
    try {
        for (const DataSourceEntry& source : ListDataSources())
            names << QString::fromStdString(source.name);
        names.removeDuplicates();  // a user source and a system one of the same name
    } catch (const std::exception&) {
        // No driver manager to ask: the name is typed in full, as before.
    }
    static_cast<QStringListModel*>(m_completer->model())->setStringList(names);
}

QString ConnectionWindow::DataSourceName() const
{
    return m_text1->text();
}

void ConnectionWindow::SetDataSourceName(const QString& name)
{
    m_text1->setText(name);
}

std::optional<std::string> ConnectionWindow::ConnectionFailure() const
{
    try {
        Connection connection;
        connection.Open(DataSourceName().toStdString());
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
}

bool ConnectionWindow::CheckConnection() const
{
    return !ConnectionFailure();
}

void ConnectionWindow::PushButton7_Click()
{
    // The busy pointer stays while either box is open.
    m_pointer->SetPointer(PointerStyle::Busy);
    // The driver's own words behind "Show Details...": they say what to mend.
    if (const std::optional<std::string> failure = ConnectionFailure())
        m_dialogs.Details("Could not connect.", *failure);
    else
        m_dialogs.Message("Connection successful.");
    m_pointer->SetPointer(PointerStyle::Default);
}

void ConnectionWindow::PushButton6_Click()
{
    m_dialogs.Message(ConnectionHelpText().toStdString());
}

void ConnectionWindow::PushButton3_Click()
{
    if (!CheckConnection() || !onNext)
        return;
    StepRunner steps(*m_reporter, ProcedurePath("Form1", "PushButton3_Click"));
    steps.Run(100, [this] { onNext(); });
}

void ConnectionWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (onClose)
        onClose();
}

void ConnectionWindow::showEvent(QShowEvent* event)
{
    // Sources may have been defined since the window was last shown.
    RefreshDataSources();
    QWidget::showEvent(event);
}

bool ConnectionWindow::eventFilter(QObject* watched, QEvent* event)
{
    // While the suggestions show, they take every click: one on a button closes them and would
    // do nothing more, so that Next > after typing a name took two clicks. The button gets it too.
    if (watched == m_completer->popup() && event->type() == QEvent::MouseButtonPress) {
        QWidget* popup = m_completer->popup();
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        auto* button = qobject_cast<QPushButton*>(childAt(mapFromGlobal(at)));
        if (button && button->isEnabled() && !popup->rect().contains(popup->mapFromGlobal(at))) {
            popup->hide();
            QTimer::singleShot(0, button, &QPushButton::click);
            return true;
        }
    }
    // Entering the box selects all of it, so that typing replaces the name;
    // deferred, or the click that brought the focus would undo it.
    if (watched == m_text1 && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, m_text1, [this] { m_text1->selectAll(); });
    return QWidget::eventFilter(watched, event);
}

}  // namespace qb
