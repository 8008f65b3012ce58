// The import's inputs as the controls hold them, and the choices remembered
// from one session to the next.
#include "gui/MainWindow.h"

#include "gui/EncodingBox.h"
#include "gui/FileListView.h"
#include "gui/SettingsStore.h"
#include "read/TextDecoder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>

namespace qb {

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

ImportSettings MainWindow::CurrentSettings() const
{
    ImportSettings settings;
    settings.Files = m_files->ExactPaths();
    settings.Separator = m_text3->text().toStdString();
    settings.Mode = m_option1->isChecked() ? ImportMode::CreateNewTable : ImportMode::AppendToExistingTable;
    settings.ColumnNames = m_option4->isChecked() ? ColumnNameSource::UserSpecified : ColumnNameSource::FromFirstLine;
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
    settings.ColumnPlansByNames = m_plans;
    settings.IfTableExists = static_cast<IfExists>(std::max(m_ifExists->currentIndex(), 0));
    settings.Replace = m_emptyFirst->isChecked();
    const int onDuplicate = m_onDuplicate->currentIndex();
    settings.OnDuplicateKey = onDuplicate == 1   ? OnDuplicate::Skip
                              : onDuplicate == 2 ? OnDuplicate::Update
                                                 : OnDuplicate::Error;
    // Appending, the edits say where the file's columns go in the chosen table.
    if (settings.Mode == ImportMode::AppendToExistingTable) {
        const auto planned = settings.TargetTable ? m_appendPlans.find(*settings.TargetTable) : m_appendPlans.end();
        settings.ColumnPlansByNames = planned != m_appendPlans.end() ? planned->second
                                                                     : std::map<std::vector<std::string>, ColumnPlan>{};
    }
    // Unticked, the header's names decide; ticked without a header, there are none to go by.
    if (settings.Mode == ImportMode::AppendToExistingTable && settings.IgnoreFirstLine && m_byName->isChecked())
        settings.Matching = ColumnMatching::ByName;
    if (m_dates->currentIndex() > 0)
        settings.DateFormat = ParseDateFormat(m_dates->currentText().toStdString());
    settings.NullMarkers = NullMarkersIn(m_nullMarkers->currentText());
    settings.Trim = m_trim->isChecked();
    settings.DecimalComma = m_decimalComma->isChecked();
    settings.NoHeader = m_noHeader->isChecked();
    settings.SkipLines = m_skipLines->value();
    settings.Quote = QuoteCharacter();
    settings.Jobs = m_jobs->value();
    return settings;
}

}  // namespace qb
