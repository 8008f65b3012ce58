#pragma once

#include "base/ErrorReport.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QCompleter;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qb {

class Dialogs;
class PointerRule;
class SettingsStore;

// The first window: the user names the data source, tests it, reads how to
// set one up, and goes on to the main window.
class ConnectionWindow : public QWidget {
    Q_OBJECT

public:
    ConnectionWindow(SettingsStore& settings, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ConnectionWindow() override;

    // The data source name has its one home here.
    QString DataSourceName() const;
    void SetDataSourceName(const QString& name);

    // True when the named data source opens. Shows nothing.
    bool CheckConnection() const;
    // Why the data source does not open, in the driver's words; none when it opens.
    std::optional<std::string> ConnectionFailure() const;

    // Offers the data sources the driver manager knows now as completions.
    void RefreshDataSources();
    QCompleter& Completer() const { return *m_completer; }

    PointerRule& Pointer() const { return *m_pointer; }
    ErrorReporter& Reporter() const { return *m_reporter; }

    // Handlers, public so that the window flow and tests can drive them.
    void PushButton7_Click();  // Test Connection
    void PushButton6_Click();  // Help
    void PushButton3_Click();  // Next >

    // Called by Next > once the data source opens; by closing, to end the program.
    std::function<void()> onNext;
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();

    SettingsStore& m_settings;
    Dialogs& m_dialogs;
    PointerRule* m_pointer;
    std::unique_ptr<ErrorReporter> m_reporter;
    QGroupBox* m_frame1;
    QLabel* m_label1;
    QLineEdit* m_text1;
    QPushButton* m_testButton;
    QPushButton* m_helpButton;
    QPushButton* m_nextButton;
    QCompleter* m_completer;
};

// The help shown by the Help button.
QString ConnectionHelpText();

}  // namespace qb
