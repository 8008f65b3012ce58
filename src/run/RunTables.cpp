#include "run/Importer.h"

#include "load/StatementBuilder.h"
#include "odbc/SqlText.h"
#include "read/Records.h"
#include "run/AskedNames.h"
#include "schema/CreateChecks.h"
#include "schema/CreateStatement.h"
#include "schema/Naming.h"

#include <algorithm>

// The tables a run makes or appends to, and the lines it sends them.
namespace qb {
namespace {

constexpr InsertLoopLines kFromFirstLineLoop{202, 208, 232};
constexpr InsertLoopLines kUserSpecifiedLoop{264, 270, 292};
constexpr InsertLoopLines kAppendLoop{316, 322, 344};

// A CREATE that the checks refuse ends its step, and its file, with a report.
void Refuse(int step, const std::string& refusal)
{
    if (!refusal.empty())
        throw StepFailure(step, refusal);
}

// A new table's target: the file's fields but the ones left out, in their order.
InsertTarget Kept(const std::string& table, const std::vector<bool>& kept)
{
    InsertTarget target{table};
    if (std::find(kept.begin(), kept.end(), false) == kept.end())
        return target;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i])
            target.fields.push_back(i);
    }
    return target;
}

// No first line and no records: nothing to name a column.
bool IsEmpty(const PreparedCopy& copy)
{
    return copy.header.empty() && copy.lines.empty();
}

}  // namespace

// A table a stopped run made goes, rows and all, before its file makes it again. False when it could not.
bool Importer::Replaced(OneFile& file, const std::string& table)
{
    if (!m_replace.erase(table))
        return true;
    return file.steps.Run(200, [&] {
        WhileBusy(file.reports, [&] { m_connection.Execute("DROP TABLE " + QuoteIdentifier(table)); });
    });
}

void Importer::CreateFromFirstLine(OneFile& file, const std::string& table, bool exists)
{
    RecordSplitter splitter = SplitterOf(m_settings);
    const NamingFields naming(splitter.Split(file.copy.header), m_settings.NoHeader);
    const auto& fields = naming.Fields();
    const std::size_t columns = fields.size();
    // Columns edited in the preview, by name; what the edits leave alone follows the options.
    const std::vector<std::string> names = ColumnNames(fields, m_settings.KeepLetters);
    const ColumnPlan* plan = PlanFor(m_settings, file.listed, names);
    const PlannedTable planned = Planned(names, Types(file, columns), plan);
    // Edits that do nothing are said, and the file goes on without them.
    if (!exists && !IsEmpty(file.copy) && !planned.missing.empty())
        file.steps.Run(200, [&] { Refuse(200, MissingEdits(file.reports.Path(), planned)); });
    // Rows for a table that was not created would each fail on their own.
    const bool created = exists || file.steps.Run(200, [&] {
        Refuse(200, CheckCreateFromFields(file.reports.Path(), table, IsEmpty(file.copy), fields,
                                          m_connection.Limits(), m_settings.KeepLetters));
        if (plan)
            Refuse(200, CheckPlan(file.reports.Path(), planned, m_connection.Limits()));
        const std::string create = BuildCreate(table, planned.names, planned.types);
        WhileBusy(file.reports, [&] { m_connection.Execute(create); });
    });
    if (!created) {
        Skip();
        return;
    }
    SendLines(file, Kept(table, planned.kept), columns, kFromFirstLineLoop);
    if (!exists)
        ListCreated(table);
}

void Importer::CreateFromAnswers(OneFile& file, const std::string& table, bool exists)
{
    bool created = exists;
    RecordSplitter splitter = SplitterOf(m_settings);
    const NamingFields naming(splitter.Split(file.copy.header), m_settings.NoHeader);
    const auto& header = naming.Fields();
    const std::size_t columns = header.size();
    if (!exists)
        file.steps.Run(262, [&] {
        // Refused before a name is asked for.
        const NameLimits& limits = m_connection.Limits();
        Refuse(262, CheckNewTable({file.reports.Path(), table, IsEmpty(file.copy), columns}, limits));
        const CreateStatement create = BuildCreateFromAnswers(table, file.reports.Path(), header, m_host,
                                                              m_settings.KeepLetters, Types(file, columns));
        if (create.execute) {
            Refuse(262, CheckColumnNames(create.names, limits));
            WhileBusy(file.reports, [&] { m_connection.Execute(create.text); });
            created = true;
        }
    });
    if (!created) {
        Skip();
        return;
    }
    SendLines(file, {table}, columns, kUserSpecifiedLoop);
    if (!exists)
        ListCreated(table);
}

void Importer::Append(OneFile& file, const std::string& path)
{
    const std::string& target = *m_settings.TargetTable;
    int tableColumns = 0;
    if (!file.steps.Run(304, [&] {
            WhileBusy(file.reports, [&] { tableColumns = m_connection.ColumnCount(BuildColumnCountQuery(target)); });
        })) {
        Skip();
        return;
    }
    FileRecord first;
    bool hasRecord = false;
    if (!file.steps.Run(306, [&] {
            FileRecords records(FileRecords::WorkingCopy{}, file.copy.copy.Get(), file.copy.name, FormatOf(m_settings));
            hasRecord = records.Next(first);
        })) {
        Skip();
        return;
    }
    if (!hasRecord) {
        FinishUnsent(file, 306);  // nothing to append: done all the same
        return;
    }
    const auto fileColumns = SplitterOf(m_settings).Split(first.text).size();
    if (fileColumns == static_cast<std::size_t>(tableColumns)) {
        SendLines(file, {target}, fileColumns, kAppendLoop);
        return;
    }
    Skip();
    m_host.ShowMessage("The columns in the text file and the columns in the table must be identical.\r\n\r\n" + path +
                       " was split by " + m_settings.Separator + " and has " + std::to_string(fileColumns) +
                       " columns. The table " + target + " has " + std::to_string(tableColumns) + " columns.");
}

void Importer::SendLines(OneFile& file, const InsertTarget& target, std::size_t columns, const InsertLoopLines& lines)
{
    const std::string& table = target.table;
    file.reports.Table(table);
    // A table without transactions may keep part of a refused batch: line by line there. Nor can it
    // commit its lines with their count in the manifest.
    bool transactional = false;
    if (!m_settings.RowByRow || file.progress) {
        const bool known = file.steps.Run(lines.open, [&] {
            WhileBusy(file.reports, [&] { transactional = m_connection.IsTransactional(table); });
            if (file.progress && !transactional)
                throw StepFailure(lines.open, "The table " + table + " keeps no transactions, so its lines and "
                                              "their count could not be stored together. It was left alone.");
        });
        // Without the manifest, a table not known to keep transactions goes line by line.
        if (!known && file.progress) {
            Skip();
            return;
        }
    }
    const bool batching = transactional && !m_settings.RowByRow;
    const Sending sending = batching ? Sending::InBatches : Sending::LineByLine;
    // After a lost connection the next file starts on a new one, whatever its driver knows.
    if (!m_sender.Send(file.copy, target, columns, lines, sending, batching ? m_bulk.get() : nullptr,
                       file.steps, file.reports, file.progress ? &*file.progress : nullptr)) {
        m_bulk.reset();
        m_connection.Close();
    }
    file.interrupted = m_sender.Stopped();
}

}  // namespace qb
