#pragma once

#include "base/UniqueFd.h"
#include "read/WorkingFolder.h"

#include <string>

namespace qb {

// The bytes of a file to import, as OpenForImport gives them: spooled in
// SpoolFolder() when packed. Throws std::system_error or PackedFileError.
UniqueFd OpenInput(const std::string& path);

// Standard input, read to its end into a nameless file in folder, so that
// it can be read by offset like any file. Throws std::system_error.
UniqueFd SpoolStandardInput(const std::string& folder);

}  // namespace qb
