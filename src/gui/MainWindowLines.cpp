// Where a file's data begins and how its fields are quoted: a file without a header line, lines
// before the header, and the quote character; each remembered like the other options.
#include "gui/MainWindow.h"

#include "gui/PlaceControl.h"
#include "gui/SettingsStore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

namespace qb {
namespace {

// Far more than any title block, short of a count that could pass for a mistake in the number.
constexpr int kMostSkippedLines = 1000000;

}  // namespace

void MainWindow::BuildLineControls()
{
    m_noHeader = Named(new QRadioButton(QStringLiteral("No header line: name columns Column1, Column2, \u2026"), this),
                       "RadioNoHeader");
    m_noHeader->setToolTip(QStringLiteral(
        "Imports every line as data and names the new table's columns Column1, Column2 and so on, as many as the "
        "first line has fields."));
    // The original two choices live in their frame, this one in the panel: one group keeps them apart.
    auto* names = new QButtonGroup(this);
    for (QRadioButton* choice : {m_option3, m_option4, m_noHeader})
        names->addButton(choice);
    if (m_settings.Get(QLatin1String(kNoHeaderKey)) == QLatin1String("1"))
        m_noHeader->setChecked(true);
    connect(m_noHeader, &QRadioButton::toggled, this, [this](bool on) {
        m_settings.Save(QLatin1String(kNoHeaderKey), on ? QStringLiteral("1") : QStringLiteral("0"));
    });

    m_skipLinesLabel = Named(new QLabel(QStringLiteral("Skip first"), this), "LabelSkipLines");
    m_skipLines = Named(new QSpinBox(this), "SpinSkipLines");
    m_skipLines->setRange(0, kMostSkippedLines);
    m_skipLines->setSuffix(QStringLiteral(" lines"));
    m_skipLines->setToolTip(QStringLiteral(
        "Leaves out each file's first lines, such as a title or a blank line, before its header or first data line."));
    m_skipLinesLabel->setToolTip(m_skipLines->toolTip());
    m_skipLines->setValue(m_settings.Get(QLatin1String(kSkipLinesKey)).toInt());
    connect(m_skipLines, &QSpinBox::valueChanged, this,
            [this](int lines) { m_settings.Save(QLatin1String(kSkipLinesKey), QString::number(lines)); });

    m_quote = Named(new QComboBox(this), "ComboQuote");
    m_quote->setEditable(true);
    m_quote->addItems({QStringLiteral("\""), QStringLiteral("'")});
    // One character, any but a line end: another is typed in.
    m_quote->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[^\\r\\n]$")), m_quote));
    m_quote->lineEdit()->setMaxLength(1);
    m_quote->setToolTip(QStringLiteral("The character a quoted field begins and ends with; two of it inside stand for one."));
    Remember(m_quote, kQuoteCharacterKey);
}

// The quote as chosen: one byte, the double quote where none or a character past ASCII is typed.
char MainWindow::QuoteCharacter() const
{
    const QString text = m_quote->currentText();
    return text.size() == 1 && text.at(0).unicode() < 0x80 ? static_cast<char>(text.at(0).unicode()) : '"';
}

}  // namespace qb
