#include "import/ImportSettings.h"

#include "import/FileRecords.h"
#include "import/TextDecoder.h"
#include "odbc/TableCatalogue.h"

namespace qb {

FileFormat FormatOf(const ImportSettings& settings)
{
    return {settings.Separator, settings.Quoted, settings.Encoding, settings.MaxRecordLength};
}

std::string CheckSettings(const ImportSettings& settings)
{
    const bool create = settings.Mode == ImportMode::CreateNewTable;
    if (settings.Files.empty())
        return "No files added.";
    if (!create && !settings.TargetTable)
        return "Please select a table.";
    if (create && TableListed(settings.TableList, settings.TableNamePattern))
        return "Table name already exists.";
    if (!settings.Encoding.empty() && !TextDecoder::Known(settings.Encoding))
        return "The encoding " + settings.Encoding + " is not known.";
    return {};
}

}  // namespace qb
