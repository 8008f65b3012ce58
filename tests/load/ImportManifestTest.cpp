#include "load/FileClaim.h"
#include "load/ImportManifest.h"
#include "odbc/Database.h"
#include "odbc/TableCatalogue.h"
#include "support/DataSources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace qb {
namespace {

class ImportManifestTest : public test::DataSourceTest {};

// A file's row from its start to its end, found again by digest and table, and kept out of the table list.
TEST_P(ImportManifestTest, FollowsAFileAndIsFoundAgain)
{
    Connection connection = OpenConnection();
    ImportManifest manifest(connection);
    ImportManifest again(connection);  // a second run finds the table there
    EXPECT_TRUE(UserTableNames(connection.Tables()).empty());
    const std::string digest(64, 'a');
    EXPECT_EQ(manifest.Find(digest, "Sales"), std::nullopt);

    ManifestEntry entry{digest, "Sales", "/d/it's caf\xC3\xA9.csv", 123456789012, 0, 0, 0, "2026-12-07T10:00:00Z", {}};
    manifest.Begin(entry);
    EXPECT_EQ(manifest.Find(digest, "Sales"), entry);
    EXPECT_EQ(manifest.Find(digest, "Other"), std::nullopt);

    connection.Execute(ImportManifest::Progress(digest, "Sales", 1000, 3, 1004));
    manifest.Finish(digest, "Sales", "2026-12-07T10:00:05Z");
    ManifestEntry done = entry;
    done.stored = 1000;
    done.refused = 3;
    done.lastLine = 1004;
    done.finished = "2026-12-07T10:00:05Z";
    EXPECT_EQ(manifest.Find(digest, "Sales"), done);

    // Begun again once its table's rows are forgotten, the file starts over.
    manifest.Forget("Sales");
    manifest.Begin(entry);
    EXPECT_EQ(manifest.Find(digest, "Sales"), entry);
}

// One run at a time holds a file's row: another is told so, and takes it once the first lets go or is gone.
TEST_P(ImportManifestTest, OneRunAtATimeClaimsAFile)
{
    Connection first = OpenConnection();
    Connection second = OpenConnection();
    const std::string digest(64, 'b');
    {
        std::optional<FileClaim> held = FileClaim::Take(first, digest, "Sales");
        ASSERT_TRUE(held);
        EXPECT_FALSE(FileClaim::Take(second, digest, "Sales"));
        EXPECT_TRUE(FileClaim::Take(second, digest, "Other"));
    }
    EXPECT_TRUE(FileClaim::Take(second, digest, "Sales"));
    if (GetParam().kind == test::DriverKind::Sqlite)
        return;  // its hold is the process's, gone with it
    std::optional<FileClaim> held = FileClaim::Take(first, digest, "Sales");
    ASSERT_TRUE(held);
    first.Close();
    // The server lets go once it sees the session gone.
    bool taken = false;
    for (int i = 0; i < 100 && !(taken = FileClaim::Take(second, digest, "Sales").has_value()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(taken);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ImportManifestTest, testing::ValuesIn(test::AllDataSources()),
                         test::DataSourceLabel{});

}  // namespace
}  // namespace qb
