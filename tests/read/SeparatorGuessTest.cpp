#include "read/SeparatorGuess.h"
#include "support/Packed.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

struct GuessCase {
    const char* name;
    std::string bytes;
    bool quoted;
    std::optional<std::string> separator;
};

std::string Lines(const std::string& line, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += line;
    return text;
}

TEST(SeparatorGuessTest, PicksWhatMostOfTheFirstRecordsAgreeOn)
{
    const GuessCase cases[] = {
        // A German spreadsheet's export: decimal commas, quoted cells, one holding a semicolon and a line break.
        {"EuropeanSpreadsheet",
         "Artikel;Preis;Menge;Bemerkung\r\n\"Schrauben, verzinkt\";1,5;2,25;\"lose\"\r\nMuttern;0,75;100;\r\n"
         "\"D\xC3\xBC" "bel \"\"Profi\"\"\";12,9;3,5;\"Kiste; 50 St\xC3\xBC" "ck\"\r\n"
         "\"Scheiben\nDIN 125\";0,05;1000;\r\n",
         true, ";"},
        {"TabExport",
         "Region\tQuarter\tAmount\r\nNorth\tQ1\t1,200.50\r\nSouth West\tQ1\t980.00\r\nEast\tQ2\t1,050.75\r\n", false,
         "\t"},
        {"PipeDump",
         "id|name|email|created\n1|Ann Lee|ann@example.com|2024-01-05 10:00:00\n"
         "2|Bo Chen|bo@example.com|2024-01-06 11:30:00\n3|Cy|cy@example.com|\n",
         false, "|"},
        {"SpaceSeparated", "time temp pressure\n0.5 21.25 1013\n1.0 21.5 1012\n1.5 21.75 1012", false, " "},
        {"SingleColumn", "email\nann@example.com\nbo@example.com\n", false, std::nullopt},
        {"Empty", "", true, std::nullopt},
        {"TitleLineOverTabs",
         "Exported by Ledger 4.2, 2024-03-01 09:00\nAccount\tDebit\tCredit\n1000\t250.00\t\n2000\t\t250.00\n", false,
         "\t"},
        {"TieGoesToTheEarlierChoice", "a,b;c,d\n1,2;3,4\n", false, ","},
        {"OnlyTheFirstHundredRecords", Lines("a,b\n", 100) + Lines("a;b;c\n", 150), false, ","},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        FileFormat format;
        format.separator = "#";  // the box's text plays no part
        format.quoted = c.quoted;
        EXPECT_EQ(GuessSeparator(dir.Write("f.txt", c.bytes), format), c.separator) << c.name;
    }
}

TEST(SeparatorGuessTest, ReadsFilesAsTheImportOpensThem)
{
    test::TempDir dir;
    const std::string packed = dir.Write("export.csv.gz", test::Compress("a;b\r\n1;2\r\n", ARCHIVE_FILTER_GZIP));
    EXPECT_EQ(GuessSeparator(packed, FileFormat{}), ";");
    EXPECT_THROW(GuessSeparator(dir.Path("missing.csv"), FileFormat{}), std::exception);
}

}  // namespace
}  // namespace qb
