#include "gui/ErrorReportBox.h"

#include "run/ImportHost.h"
#include "gui/Dialogs.h"

#include <QFile>
#include <QLocale>
#include <QString>

namespace qb {

void ErrorReportBox::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    m_dialogs.Message(ErrorReportText(procedure, line, description), BoxButtons::Ok, BoxIcon::Exclamation,
                      "Application Error");
}

std::string LineReportDetails(const LineContext& context)
{
    QString details = QStringLiteral("File: ") + QFile::decodeName(QByteArray::fromStdString(context.path));
    if (context.line > 0)
        details += QStringLiteral("\nLine: ") + QString::number(context.line);
    if (context.bytes.empty())
        return details.toStdString();

    const bool cut = context.bytes.size() >= kContextBytes;
    std::string_view bytes = context.bytes;
    while (!cut && !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.remove_suffix(1);
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // A NUL or an escape would vanish or garble the text; their pictures show them.
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        if ((code < 0x20 && code != u'\t' && code != u'\n') || code == 0x7F)
            c = QChar(code == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + code));
    }
    details += cut ? QStringLiteral("\nThe line's first %1 bytes:\n")
                             .arg(QLocale(QLocale::English).toString(qulonglong(kContextBytes)))
                   : QStringLiteral("\nThe line:\n");
    return (details + text).toStdString();
}

}  // namespace qb
