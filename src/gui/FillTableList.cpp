#include "gui/FillTableList.h"

#include "odbc/TableCatalogue.h"

#include <QCoreApplication>
#include <QListWidget>

namespace qb {

void FillTableList(QListWidget* list, const std::string& dataSourceName)
{
    const auto names = ListUserTables(dataSourceName, [] { QCoreApplication::processEvents(); });
    list->clear();
    for (const auto& name : names)
        list->addItem(QString::fromStdString(name));
}

}  // namespace qb
