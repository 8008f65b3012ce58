#include "base/ErrorReport.h"
#include "base/StepFailure.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace qb {
namespace {

class RecordingReporter : public ErrorReporter {
public:
    struct Report {
        std::string procedure;
        int line;
        std::string description;
    };
    std::vector<Report> reports;
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override
    {
        reports.push_back({procedure, line, description});
    }
};

TEST(ErrorReportTest, TextToTheCharacter)
{
    EXPECT_EQ(ProcedurePath("Form2", "PushButton1_Click"), "in Quillbarrow2021/08/31.Form2.PushButton1_Click ");
    EXPECT_EQ(ProcedurePath("AddFolder", "GetSubDirectories2016", "Harnwick"),
              "in Harnwick2021/08/31.AddFolder.GetSubDirectories2016 ");
    EXPECT_EQ(ErrorReportText("in Quillbarrow2021/08/31.Form2.Form_Load ", 114, "Data source name not found"),
              "Data source name not found\r\nin Quillbarrow2021/08/31.Form2.Form_Load at line 114\r\r"
              "Please email screenshot of this message to support@tolvane.example");
}

TEST(StepRunnerTest, ReportsEachFailedStepAndGoesOn)
{
    RecordingReporter reporter;
    StepRunner steps(reporter, "in P ");
    std::vector<int> ran;
    EXPECT_TRUE(steps.Run(100, [&] { ran.push_back(100); }));
    EXPECT_FALSE(steps.Run(102, [&] { throw std::runtime_error("boom"); }));
    EXPECT_FALSE(steps.Run(104, [&] { throw StepFailure(136, "inner step"); }));
    EXPECT_FALSE(steps.Run(106, [&] { throw 42; }));
    EXPECT_TRUE(steps.Run(108, [&] { ran.push_back(108); }));

    EXPECT_EQ(ran, (std::vector<int>{100, 108}));
    ASSERT_EQ(reporter.reports.size(), 3u);
    EXPECT_EQ(reporter.reports[0].line, 102);
    EXPECT_EQ(reporter.reports[0].description, "boom");
    EXPECT_EQ(reporter.reports[1].line, 136);
    EXPECT_EQ(reporter.reports[1].description, "inner step");
    EXPECT_EQ(reporter.reports[2].line, 106);
    EXPECT_FALSE(reporter.reports[2].description.empty());
    EXPECT_EQ(reporter.reports[0].procedure, "in P ");
    EXPECT_EQ(steps.Reports(), 3);
}

}  // namespace
}  // namespace qb
