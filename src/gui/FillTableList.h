#pragma once

#include <string>

class QListWidget;

namespace qb {

// Refills the list with the data source's user tables, in the catalogue's
// order. Errors reach the caller; names added before one stay.
void FillTableList(QListWidget* list, const std::string& dataSourceName);

}  // namespace qb
