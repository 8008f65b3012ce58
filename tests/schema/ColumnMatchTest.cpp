#include "schema/ColumnMatch.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// What the preview's edits make of a header: each names the table column its file column goes to, and
// the mapping is refused, never guessed, when two go to one column or one goes to a column the table lacks.
TEST(ColumnMatchTest, EditsMapTheHeaderOrRefuseIt)
{
    const std::vector<std::string> table{"day", "item", "qty"};
    const std::vector<std::string_view> header{"when", "what", "Qty"};
    const struct {
        const char* name;
        std::map<std::string, ColumnEdit> edits;
        DatabaseKind database;
        std::vector<std::string> columns;
        std::string refusal;  // its start
    } cases[] = {
        {"Renamed", {{"when", {.name = "day"}}, {"what", {.name = "ITEM"}}}, DatabaseKind::Mariadb,
         {"day", "item", "qty"}, ""},
        {"ExactCase", {{"when", {.name = "day"}}, {"what", {.name = "item"}}}, DatabaseKind::Postgres, {},
         "The table sales has no column Qty"},
        {"LeftOut", {{"when", {.leftOut = true}}, {"what", {.name = "item"}}}, DatabaseKind::Sqlite, {"item", "qty"}, ""},
        {"TwoToOne", {{"when", {.name = "qty"}}, {"what", {.name = "day"}}}, DatabaseKind::Sqlite, {},
         "More than one column of f.csv goes to qty"},
    };
    for (const auto& c : cases) {
        const ColumnPlan plan{c.edits};
        const ColumnMapping mapping =
            MatchColumns(header, table, {ColumnMatching::Automatic, false, false, c.database, &plan, "f.csv", "sales"});
        EXPECT_TRUE(mapping.byName) << c.name;
        EXPECT_TRUE(mapping.refusal.starts_with(c.refusal)) << c.name << ": " << mapping.refusal;
        if (c.refusal.empty()) {
            EXPECT_EQ(mapping.columns, c.columns) << c.name;
        }
    }
}

}  // namespace
}  // namespace qb
