// Profiles: the window's options saved under a name and set again from one, in the files the command
// line's --profile reads.
#include "gui/MainWindow.h"

#include "gui/Dialogs.h"
#include "gui/EncodingBox.h"
#include "run/Profiles.h"
#include "read/TextDecoder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>

namespace qb {
namespace {

constexpr const char* kProfileTitle = "Profile";

const char* const kIfExistsWords[] = {"fail", "append", "replace"};
const char* const kOnDuplicateWords[] = {"error", "skip", "update"};

int IndexOf(const char* const (&words)[3], const std::string& word)
{
    const auto found = std::find(std::begin(words), std::end(words), word);
    return found == std::end(words) ? -1 : static_cast<int>(found - std::begin(words));
}

}  // namespace

std::vector<ProfileEntry> MainWindow::ProfileEntries() const
{
    const ImportSettings settings = CurrentSettings();
    std::vector<ProfileEntry> entries;
    const auto add = [&](const char* option, std::string value) { entries.push_back({option, std::move(value), 0}); };
    const auto flag = [&](const char* option, bool on) {
        if (on)
            add(option, "true");
    };
    if (!settings.DataSourceName.empty())
        add("dsn", settings.DataSourceName);
    add("separator", settings.Separator == "\t" ? "\\t" : settings.Separator);
    if (settings.Mode == ImportMode::CreateNewTable) {
        add("table-name", settings.TableNamePattern);
        flag("ask-columns", settings.ColumnNames == ColumnNameSource::UserSpecified);
        flag("no-header", settings.NoHeader);
        if (settings.GuessTypes)
            add("types", "guess");
        if (settings.DateFormat)
            add("date-format", m_dates->currentText().toStdString());
        flag("keep-letters", settings.KeepLetters);
        if (settings.IfTableExists != IfExists::Fail)
            add("if-exists", kIfExistsWords[static_cast<int>(settings.IfTableExists)]);
    } else if (settings.TargetTable) {
        add("append", *settings.TargetTable);
        flag("skip-header", settings.IgnoreFirstLine);
        if (settings.Matching == ColumnMatching::ByName)
            add("columns", "by-name");
        flag("replace", settings.Replace);
        if (settings.OnDuplicateKey != OnDuplicate::Error)
            add("on-duplicate", kOnDuplicateWords[static_cast<int>(settings.OnDuplicateKey)]);
    }
    flag("quoted", settings.Quoted);
    if (settings.Quoted && settings.Quote != '"')
        add("quote", std::string(1, settings.Quote));
    add("encoding", settings.Encoding == kAutoEncoding ? "auto" : settings.Encoding.empty() ? "as-is" : settings.Encoding);
    if (settings.SkipLines > 0)
        add("skip-lines", std::to_string(settings.SkipLines));
    for (const std::string& marker : settings.NullMarkers)
        add("null", marker);
    flag("trim", settings.Trim);
    flag("decimal-comma", settings.DecimalComma);
    flag("resume", settings.Resume);
    add("jobs", settings.Jobs == 0 ? "auto" : std::to_string(settings.Jobs));
    return entries;
}

// Options the profile leaves out go back to their first values; those the window has not are named.
void MainWindow::ApplyProfile(const std::vector<ProfileEntry>& entries, const std::string& name)
{
    m_text3->setText(QStringLiteral(","));
    m_text2->setText(QStringLiteral("NewTable[counter]"));
    m_option1->setChecked(true);
    m_option3->setChecked(true);
    m_list1->clearSelection();
    for (QCheckBox* box : {m_check2, m_quoted, m_keepLetters, m_resume, m_emptyFirst, m_byName, m_trim, m_decimalComma})
        box->setChecked(false);
    for (QComboBox* choice : {m_types, m_dates, m_ifExists, m_onDuplicate, m_encoding})
        choice->setCurrentIndex(0);
    m_quote->setCurrentIndex(0);
    m_skipLines->setValue(0);
    m_jobs->setValue(0);
    QStringList markers;
    std::vector<std::string> ignored;
    for (const ProfileEntry& entry : entries) {
        const QString value = QString::fromStdString(entry.value);
        const std::string& option = entry.option;
        const bool on = entry.value == "true";
        if (option == "separator" && entry.value != "auto") {
            m_text3->setText(entry.value == "\\t" ? QStringLiteral("\t") : value);
        } else if (option == "table-name") {
            m_text2->setText(value);
        } else if (option == "ask-columns" || option == "no-header") {
            if (on)
                (option == "no-header" ? m_noHeader : m_option4)->setChecked(true);
        } else if (option == "append") {
            m_option2->setChecked(true);
            const auto items = m_list1->findItems(value, Qt::MatchExactly);
            if (items.isEmpty())
                ignored.push_back("append = " + entry.value + " (no such table)");
            else
                m_list1->setCurrentItem(items.first());
        } else if (option == "skip-header" || option == "quoted" || option == "keep-letters" || option == "resume" ||
                   option == "replace" || option == "trim" || option == "decimal-comma") {
            QCheckBox* box = option == "skip-header"    ? m_check2
                             : option == "quoted"       ? m_quoted
                             : option == "keep-letters" ? m_keepLetters
                             : option == "resume"       ? m_resume
                             : option == "replace"      ? m_emptyFirst
                             : option == "trim"         ? m_trim
                                                        : m_decimalComma;
            box->setChecked(on);
        } else if (option == "columns" && (entry.value == "by-name" || entry.value == "by-position")) {
            m_byName->setChecked(entry.value == "by-name");
        } else if (option == "quote" && entry.value.size() == 1) {
            m_quote->setCurrentText(value);
            m_quoted->setChecked(true);
        } else if (option == "encoding") {
            const std::string named = entry.value == "auto" ? kAutoEncoding : entry.value == "as-is" ? "" : entry.value;
            const auto listed = std::find_if(std::begin(kEncodingChoices), std::end(kEncodingChoices),
                                             [&](const EncodingChoice& choice) { return named == choice.name; });
            if (listed != std::end(kEncodingChoices))
                m_encoding->setCurrentText(QString::fromLatin1(listed->caption));
            else
                m_encoding->setCurrentText(value);
        } else if (option == "types" && (entry.value == "text" || entry.value == "guess")) {
            m_types->setCurrentIndex(entry.value == "guess" ? 1 : 0);
        } else if (option == "date-format" && m_dates->findText(value, Qt::MatchFixedString) > 0) {
            m_dates->setCurrentIndex(m_dates->findText(value, Qt::MatchFixedString));
        } else if (option == "if-exists" && IndexOf(kIfExistsWords, entry.value) >= 0) {
            m_ifExists->setCurrentIndex(IndexOf(kIfExistsWords, entry.value));
        } else if (option == "on-duplicate" && IndexOf(kOnDuplicateWords, entry.value) >= 0) {
            m_onDuplicate->setCurrentIndex(IndexOf(kOnDuplicateWords, entry.value));
        } else if (option == "skip-lines" && !value.isEmpty() && value.toInt() >= 0) {
            m_skipLines->setValue(value.toInt());
        } else if (option == "jobs" && (entry.value == "auto" || value.toInt() >= 1) && value.toInt() <= m_jobs->maximum()) {
            m_jobs->setValue(entry.value == "auto" ? 0 : value.toInt());
        } else if (option == "null") {
            markers << value;
        } else if (option != "dsn" || entry.value != m_dataSourceName()) {
            ignored.push_back(option);
        }
    }
    m_nullMarkers->setCurrentText(markers.join(QStringLiteral(", ")));
    ApplyMode();
    QString status = QStringLiteral("Profile %1 loaded.").arg(QString::fromStdString(name));
    if (!ignored.empty()) {
        QStringList names;
        for (const std::string& option : ignored)
            names << QString::fromStdString(option);
        status += QStringLiteral(" Not in this window, so left alone: ") + names.join(QStringLiteral(", ")) +
                  QStringLiteral(".");
    }
    SetStatus(status.toHtmlEscaped());
}

void MainWindow::SaveProfile_Click()
{
    const std::string name = m_dialogs.Input("Save these options as the profile named:", {}, kProfileTitle);
    if (name.empty())
        return;
    try {
        WriteProfile(ProfilePath(name), ProfileEntries());
        SetStatus(QStringLiteral("Profile %1 saved.").arg(QString::fromStdString(name)).toHtmlEscaped());
    } catch (const ProfileError& error) {
        m_dialogs.Message(error.message, BoxButtons::Ok, BoxIcon::Exclamation, kProfileTitle);
    }
}

void MainWindow::LoadProfile_Click()
{
    const std::string name = m_dialogs.Input("Load the options of the profile named:", {}, kProfileTitle);
    if (name.empty())
        return;
    try {
        ApplyProfile(ReadProfile(ProfilePath(name)), name);
    } catch (const ProfileError& error) {
        m_dialogs.Message(error.message, BoxButtons::Ok, BoxIcon::Exclamation, kProfileTitle);
    }
}

}  // namespace qb
