// The separator box's presets, its guess from a file, and the mark that
// shows a tab (typed as a tab, since Tab itself moves the focus) or a space in it.
#include "gui/MainWindow.h"

#include "gui/Dialogs.h"
#include "gui/FileListView.h"
#include "gui/PointerRule.h"
#include "gui/Twips.h"
#include "check/Preview.h"
#include "read/SeparatorGuess.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace qb {
namespace {

struct Preset {
    const char* caption;
    std::string_view separator;
};
// Captions for kSeparatorChoices, in its order.
const Preset kPresets[] = {{"Comma", kSeparatorChoices[0]},
                           {"Semicolon", kSeparatorChoices[1]},
                           {"Tab", kSeparatorChoices[2]},
                           {"Pipe", kSeparatorChoices[3]},
                           {"Space", kSeparatorChoices[4]}};
static_assert(std::size(kPresets) == kSeparatorChoices.size());

}  // namespace

void MainWindow::BuildSeparatorControls()
{
    // Right of "?": the row has no room between the box and it.
    m_separators = new QToolButton(m_frame1);
    m_separators->setObjectName(QStringLiteral("ToolSeparators"));
    m_separators->setGeometry(TwipsRect(4900, 2050, 420, 330, this));
    m_separators->setArrowType(Qt::DownArrow);
    m_separators->setPopupMode(QToolButton::InstantPopup);
    // The arrow says it all; the style's own menu mark beside it would be a second one.
    m_separators->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_separators->setFocusPolicy(Qt::StrongFocus);
    m_separators->setToolTip(QStringLiteral("Separator presets"));
    m_separators->setAccessibleName(QStringLiteral("Separator presets"));
    auto* menu = new QMenu(m_separators);
    menu->setObjectName(QStringLiteral("MenuSeparators"));
    for (const Preset& preset : kPresets) {
        const QString separator = QString::fromLatin1(preset.separator.data(), preset.separator.size());
        connect(menu->addAction(QString::fromLatin1(preset.caption)), &QAction::triggered, this,
                [this, separator] { m_text3->setText(separator); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Guess from the selected file")), &QAction::triggered, this,
            &MainWindow::GuessSeparator_Click);
    m_separators->setMenu(menu);
    m_pointer->ShowsHandOver(m_separators);

    m_separatorMark = new QLabel(m_frame1);
    m_separatorMark->setObjectName(QStringLiteral("LabelSeparatorMark"));
    m_separatorMark->setGeometry(TwipsRect(5400, 2090, 600, 255, this));
    m_separatorMark->setFont(BoldFont(8));
    m_separatorMark->hide();
    connect(m_text3, &QLineEdit::textChanged, this, [this](const QString& text) {
        const bool tab = text.contains(QLatin1Char('\t'));
        const bool space = !tab && text.contains(QLatin1Char(' '));
        m_separatorMark->setText(tab ? QStringLiteral("\u21E5 tab") : QStringLiteral("\u2423 space"));
        m_separatorMark->setToolTip(tab ? QStringLiteral("The separator holds a tab")
                                        : QStringLiteral("The separator holds a space"));
        FitToText(m_separatorMark);
        m_separatorMark->setVisible(tab || space);
    });
}

void MainWindow::GuessSeparator_Click()
{
    const std::optional<std::string> path = m_files->ChosenPath();
    if (!path) {
        m_dialogs.Message("No files added: add a file to guess its separator from.");
        return;
    }
    std::optional<std::string> guessed;
    m_pointer->SetPointer(PointerStyle::Busy);
    try {
        guessed = GuessSeparator(*path, FormatOf(CurrentSettings()));
    } catch (const std::exception& error) {
        m_pointer->SetPointer(PointerStyle::Default);
        // The reader's messages name the file already.
        m_dialogs.Message("Could not guess the separator: " + ForDisplay(error.what()));
        return;
    }
    m_pointer->SetPointer(PointerStyle::Default);
    if (!guessed) {
        m_dialogs.Message("No separator fits " + ForDisplay(*path) +
                          ": none of comma, semicolon, tab, pipe or space cuts its first lines into the same "
                          "number of fields. The separator is left as it was.");
        return;
    }
    m_text3->setText(QString::fromStdString(*guessed));
}

}  // namespace qb
