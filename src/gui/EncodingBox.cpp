#include "gui/EncodingBox.h"

#include "read/TextDecoder.h"

#include <QComboBox>
#include <QCompleter>
#include <QStringList>

namespace qb {

// Auto comes first and is the default: each file is read as what it is.
const EncodingChoice kEncodingChoices[6] = {
    {"Auto", kAutoEncoding}, {"As is", ""}, {"UTF-8", "UTF-8"}, {"Windows-1252", "WINDOWS-1252"}, {"ISO-8859-1", "ISO-8859-1"}, {"UTF-16", "UTF-16"},
};

namespace {

// Offered as one types; any other name iconv knows is taken as well.
constexpr const char* kCommonNames[] = {
    "WINDOWS-1250", "WINDOWS-1251", "WINDOWS-1252", "WINDOWS-1253", "WINDOWS-1254", "WINDOWS-1255",
    "WINDOWS-1256", "WINDOWS-1257", "WINDOWS-1258", "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-3",
    "ISO-8859-4",   "ISO-8859-5",   "ISO-8859-6",   "ISO-8859-7",   "ISO-8859-8",   "ISO-8859-9",
    "ISO-8859-10",  "ISO-8859-13",  "ISO-8859-14",  "ISO-8859-15",  "ISO-8859-16",  "KOI8-R",
    "KOI8-U",       "CP437",        "CP850",        "CP852",        "CP866",        "MACINTOSH",
    "SHIFT_JIS",    "CP932",        "EUC-JP",       "EUC-KR",       "CP949",        "GB18030",
    "GBK",          "BIG5",         "BIG5-HKSCS",   "TIS-620",      "CP874",        "UTF-16LE",
    "UTF-16BE",     "UTF-32",       "UTF-32LE",     "UTF-32BE",
};

}  // namespace

void MakeEncodingBox(QComboBox* box)
{
    QStringList names;
    for (const EncodingChoice& choice : kEncodingChoices) {
        box->addItem(QString::fromUtf8(choice.caption));
        names << QString::fromUtf8(choice.caption);
    }
    for (const char* name : kCommonNames) {
        if (TextDecoder::Known(name) && !names.contains(QLatin1String(name)))
            names << QLatin1String(name);
    }
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    auto* completer = new QCompleter(names, box);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    box->setCompleter(completer);
}

std::string EncodingNamed(const QString& text)
{
    const QString name = text.trimmed();
    if (name.isEmpty())
        return kAutoEncoding;
    for (const EncodingChoice& choice : kEncodingChoices) {
        if (name.compare(QString::fromUtf8(choice.caption), Qt::CaseInsensitive) == 0)
            return choice.name;
    }
    return name.toStdString();
}

}  // namespace qb
