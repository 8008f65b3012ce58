#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qb {

enum class ImportMode { CreateNewTable, AppendToExistingTable };
enum class ColumnNameSource { FromFirstLine, UserSpecified };

struct ImportSettings {
    std::vector<std::string> Files;
    std::string Separator = ",";
    ImportMode Mode = ImportMode::CreateNewTable;
    ColumnNameSource ColumnNames = ColumnNameSource::FromFirstLine;
    std::string TableNamePattern = "NewTable[counter]";
    std::optional<std::string> TargetTable;
    bool IgnoreFirstLine = false;
    std::vector<std::string> TableList;
    std::string DataSourceName;
    // One autocommitted statement per line, as sent before batching.
    bool RowByRow = false;
    // A batch's bounds: enough rows that a round trip or a commit is shared
    // by many, few enough bytes that memory stays flat whatever the lines.
    std::size_t BatchRows = 1000;
    std::size_t BatchBytes = std::size_t(1) << 20;
};

// Whether the first line is left out of the data: when the user types the
// column names, or when an append ignores a header. Column names taken from
// the first line keep it as data too.
inline bool SkipFirstLine(const ImportSettings& settings)
{
    if (settings.Mode == ImportMode::AppendToExistingTable)
        return settings.IgnoreFirstLine;
    return settings.ColumnNames == ColumnNameSource::UserSpecified;
}

}  // namespace qb
