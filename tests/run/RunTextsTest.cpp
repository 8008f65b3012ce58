#include "run/FileReports.h"
#include "run/LogAndRejects.h"
#include "run/RunTexts.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace qb {
namespace {

// Files passed over cost no time: the time left is reckoned from what the run itself read and sent.
TEST(RunTextsTest, TimeLeftIsReckonedFromTheRunsOwnWork)
{
    test::TempDir dir;
    const std::string bytes(1000, 'x');
    test::ScriptedHost host;
    ImportSummary summary;
    summary.files = 4;
    RunLog log({}, 0);
    RejectsFile rejects({});
    RunTally tally{host, summary, log, rejects, "p"};
    for (const char* name : {"a", "b", "c", "d"})
        tally.bytesTotal += FileSize(dir.Write(name, bytes));
    { FileReports passedOver(tally, 1, dir.Path("a")); }
    FileReports half(tally, 2, dir.Path("b"));
    PreparedCopy copy;
    copy.copy = UniqueFd(::open(dir.Path("b").c_str(), O_RDONLY));
    half.Copied(copy);
    half.Stored(10, 500);
    ImportProgress progress = host.progressShown.back();
    progress.seconds = 10;
    // 1,000 bytes read and 500 sent in 10 s; 500 to send, and 2,000 to read and send.
    EXPECT_EQ(StatusText(progress), "File 2 of 4: b, 10 rows, 1 rows/s, about 0:30 left");
}

TEST(RunTextsTest, StatusLineGroupsNumbersAndNamesTheFolderOfARepeatedName)
{
    ImportProgress progress{1203, 20000, "/data/may/orders.csv", 1234567, 20000};
    progress.seconds = 2;
    progress.nameRepeats = true;
    progress.continuedAfter = 1221001;
    EXPECT_EQ(StatusText(progress), "File 1,203 of 20,000: orders.csv in /data/may (continued after line 1,221,001), "
                                    "1,234,567 rows, 10,000 rows/s");
}

}  // namespace
}  // namespace qb
