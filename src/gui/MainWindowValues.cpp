// The options that say how values are written: markers for NULL, spaces around values, decimal commas.
#include "gui/MainWindow.h"

#include "gui/PlaceControl.h"
#include "gui/PointerRule.h"
#include "gui/PreviewWindow.h"
#include "gui/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTimer>

namespace qb {

std::vector<std::string> NullMarkersIn(const QString& text)
{
    std::vector<std::string> markers;
    for (const QString& marker : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = marker.trimmed();
        if (!trimmed.isEmpty())
            markers.push_back(trimmed.toStdString());
    }
    return markers;
}

void MainWindow::BuildValueControls()
{
    m_nullLabel = Named(new QLabel(QStringLiteral("Treat as empty:"), this), "LabelNullMarkers");
    m_nullMarkers = Named(new QComboBox(this), "ComboNullMarkers");
    m_nullMarkers->setEditable(true);
    m_nullMarkers->setInsertPolicy(QComboBox::NoInsert);
    m_nullMarkers->addItems({QString(), QStringLiteral("NA"), QStringLiteral("NULL"), QStringLiteral("N/A"),
                             QStringLiteral("-"), QStringLiteral("\\N"), QStringLiteral("NA, NULL, N/A")});
    m_nullMarkers->setToolTip(QStringLiteral(
        "Stores an unquoted field written as one of these markers, separated by commas, as NULL."));
    m_nullLabel->setToolTip(m_nullMarkers->toolTip());
    m_trim = Named(new QCheckBox(QStringLiteral("Trim spaces around values"), this), "CheckTrim");
    m_trim->setToolTip(QStringLiteral("Drops the spaces and tabs around unquoted fields before they are stored."));
    m_decimalComma = Named(new QCheckBox(QStringLiteral("Numbers have a decimal comma"), this), "CheckDecimalComma");
    m_decimalComma->setToolTip(
        QStringLiteral("Reads a comma in numbers as their decimal mark and stores them with a point."));
    Remember(m_nullMarkers, kNullMarkersKey);
    Remember(m_trim, kTrimValuesKey);
    Remember(m_decimalComma, kDecimalCommaKey);
    m_pointer->ShowsDefaultOver(m_nullLabel);
}

}  // namespace qb
