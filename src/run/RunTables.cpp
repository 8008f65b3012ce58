#include "run/Importer.h"

#include "load/KeyRule.h"
#include "load/StatementBuilder.h"
#include "odbc/SqlText.h"
#include "read/Records.h"
#include "run/AskedNames.h"
#include "schema/ColumnMatch.h"
#include "schema/CreateChecks.h"
#include "schema/CreateStatement.h"
#include "schema/Naming.h"
#include "schema/TableKey.h"

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

// Makes the file's new table; one being replaced goes first, rows and all, but only once the file has
// passed every check and the CREATE is ready, so that a file refused leaves it as it was. Where the
// database can, the DROP and the CREATE are one transaction. dropped: the table as the list names it.
void Importer::Create(OneFile& file, const std::string& dropped, const std::string& create)
{
    if (!m_replace.erase(dropped)) {
        WhileBusy(file.reports, [&] { m_connection.Execute(create); });
        return;
    }
    const std::string statements[] = {create};
    WhileBusy(file.reports, [&] {
        m_connection.InOneTransaction([&] { m_connection.Execute("DROP TABLE " + QuoteIdentifier(dropped)); },
                                      statements);
    });
    // What was remembered of its rows went with them.
    if (m_manifest && !file.target.empty())
        WhileBusy(file.reports, [&] { m_manifest->Forget(file.target); });
}

void Importer::CreateFromFirstLine(OneFile& file, const std::string& table, const std::string& dropped, bool exists)
{
    RecordSplitter splitter = SplitterOf(m_settings);
    const NamingFields naming(splitter.Split(file.copy.header), m_settings.NoHeader);
    const auto& fields = naming.Fields();
    const std::size_t columns = fields.size();
    // Columns edited in the preview, by name; what the edits leave alone follows the options.
    const std::vector<std::string> names = ColumnNames(fields, m_settings.KeepLetters);
    const std::optional<ColumnPlan> edits = PlanFor(m_settings, file.listed, names);
    const ColumnPlan* plan = edits ? &*edits : nullptr;
    PlannedTable planned = Planned(names, Types(file, columns), plan);
    const PlannedKey key = PlanKey(names, planned, plan, m_settings.Key, m_settings.KeepLetters, file.reports.Path());
    // Edits that do nothing are said, and the file goes on without them.
    if (!exists && !IsEmpty(file.copy) && !planned.missing.empty())
        file.steps.Run(200, [&] { Refuse(200, MissingEdits(file.reports.Path(), planned)); });
    // Rows for a table that was not created would each fail on their own.
    const bool created = exists || file.steps.Run(200, [&] {
        Refuse(200, CheckCreateFromFields(file.reports.Path(), table, IsEmpty(file.copy), fields,
                                          m_connection.Limits(), m_settings.KeepLetters));
        if (plan)
            Refuse(200, CheckPlan(file.reports.Path(), planned, m_connection.Limits()));
        Refuse(200, key.refusal);
        KeyTypes(planned, key, file.types ? &file.types->Guesser() : nullptr, m_connection.Kind());
        Create(file, dropped, BuildCreate(table, planned.names, planned.types, key.names));
    });
    if (!created) {
        Skip();
        return;
    }
    std::vector<std::string> sent = names;
    for (std::size_t i = 0, k = 0; i < sent.size(); ++i)
        sent[i] = planned.kept.empty() || planned.kept[i] ? planned.names[k++] : "";
    NoteDates(file, sent);
    // Each field's type, for how its values are written.
    std::vector<std::string> fieldTypes(columns, "TEXT");
    for (std::size_t i = 0, k = 0; i < columns && k < planned.types.size(); ++i)
        if (planned.kept.empty() || planned.kept[i])
            fieldTypes[i] = planned.types[k++];
    SendLines(file, Kept(table, planned.kept), columns, kFromFirstLineLoop, fieldTypes);
    if (!exists)
        ListCreated(table);
}

void Importer::CreateFromAnswers(OneFile& file, const std::string& table, const std::string& dropped, bool exists)
{
    bool created = exists;
    RecordSplitter splitter = SplitterOf(m_settings);
    const NamingFields naming(splitter.Split(file.copy.header), m_settings.NoHeader);
    const auto& header = naming.Fields();
    const std::size_t columns = header.size();
    // As answered; a table made by an earlier run calls them by their places.
    std::vector<std::string> names;
    for (std::size_t i = 1; i <= columns; ++i)
        names.push_back("column " + std::to_string(i));
    if (!exists)
        file.steps.Run(262, [&] {
        // Refused before a name is asked for.
        const NameLimits& limits = m_connection.Limits();
        Refuse(262, CheckNewTable({file.reports.Path(), table, IsEmpty(file.copy), columns}, limits));
        const CreateStatement create = BuildCreateFromAnswers(table, file.reports.Path(), header, m_host,
                                                              m_settings.KeepLetters, Types(file, columns));
        if (create.execute) {
            Refuse(262, CheckColumnNames(create.names, limits));
            Create(file, dropped, create.text);
            created = true;
            names = create.names;
        }
    });
    if (!created) {
        Skip();
        return;
    }
    NoteDates(file, names);
    SendLines(file, {table}, columns, kUserSpecifiedLoop, Types(file, columns));
    if (!exists)
        ListCreated(table);
}

void Importer::Append(OneFile& file, const std::string& path, const std::string& target)
{
    int tableColumns = 0;
    // A header may name the table's columns: their names are read then, as cheaply as their count. A new
    // table's file appended to a table that exists goes by position, as the dry run foresees it.
    std::vector<std::string> names;
    const bool header = m_settings.Mode == ImportMode::AppendToExistingTable && SkipFirstLine(m_settings);
    if (!file.steps.Run(304, [&] {
            WhileBusy(file.reports, [&] {
                if (header)
                    names = m_connection.ColumnNames(BuildColumnNamesQuery(target));
                else
                    tableColumns = m_connection.ColumnCount(BuildColumnCountQuery(target));
            });
            if (header)
                tableColumns = static_cast<int>(names.size());
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
    InsertTarget into{target};
    if (m_emptyPending)
        into.first = Emptying(file, target);
    if (!hasRecord) {
        // Nothing to append: done all the same, and the table emptied.
        if (FinishUnsent(file, 306, into.first) && !into.first.empty())
            Emptied(file, target, "by itself, as the file has no lines");
        return;
    }
    // Where a key decides what a duplicate does, the key the columns sent fill; refused before a line is
    // sent where there is none.
    const auto keyed = [&] {
        into.onDuplicate = m_settings.OnDuplicateKey;
        return into.onDuplicate == OnDuplicate::Error || file.steps.Run(304, [&] {
            KeyChoice choice;
            WhileBusy(file.reports, [&] { choice = ChooseKey(m_connection, into); });
            if (!choice.refusal.empty())
                throw StepFailure(304, choice.refusal);
            into = std::move(choice.target);
            file.reports.Note("Lines whose row is there already: " + KeyText(into.key) + " tells them, " +
                              (into.onDuplicate == OnDuplicate::Skip ? "the row there is kept." : "the row is updated."));
        });
    };
    RecordSplitter splitter = SplitterOf(m_settings);
    if (header && !file.copy.header.empty()) {
        const auto& fields = splitter.Split(file.copy.header);
        const std::size_t fileColumns = fields.size();
        const ColumnMapping mapping =
            AppendMapping(m_settings, file.listed, file.reports.Path(), fields, names, m_connection.Kind());
        if (mapping.byName) {
            // Refused before anything is sent, as the dry run finds it.
            if (!file.steps.Run(308, [&] { Refuse(308, mapping.refusal); })) {
                Skip();
                return;
            }
            file.reports.Note("Columns by name: " + mapping.Described() + ".");
            into.columns = mapping.columns;
            into.fields = mapping.fields;
            if (keyed())
                SendLines(file, into, fileColumns, kAppendLoop);
            else
                Skip();
            return;
        }
    }
    const auto fileColumns = splitter.Split(first.text).size();
    if (fileColumns == static_cast<std::size_t>(tableColumns)) {
        if (!keyed()) {
            Skip();
            return;
        }
        SendLines(file, into, fileColumns, kAppendLoop);
        return;
    }
    Skip();
    m_host.ShowMessage("The columns in the text file and the columns in the table must be identical.\r\n\r\n" + path +
                       " was split by " + m_settings.Separator + " and has " + std::to_string(fileColumns) +
                       " columns. The table " + target + " has " + std::to_string(tableColumns) + " columns.");
}

void Importer::SendLines(OneFile& file, const InsertTarget& target, std::size_t columns, const InsertLoopLines& lines,
                         const std::vector<std::string>& fieldTypes)
{
    const std::string& table = target.table;
    file.reports.Table(table);
    // A table without transactions may keep part of a refused batch: line by line there. Nor can it
    // commit its lines with their count in the manifest.
    bool transactional = false;
    const bool emptying = !target.first.empty();
    if (!m_settings.RowByRow || file.progress || emptying) {
        const bool known = file.steps.Run(lines.open, [&] {
            WhileBusy(file.reports, [&] { transactional = m_connection.IsTransactional(table); });
            if (file.progress && !transactional)
                throw StepFailure(lines.open, "The table " + table + " keeps no transactions, so its lines and "
                                              "their count could not be stored together. It was left alone.");
        });
        // Without the manifest, a table not known to keep transactions goes line by line; one to empty first
        // is left as it is.
        if (!known && (file.progress || emptying)) {
            Skip();
            return;
        }
    }
    // A table without transactions cannot be emptied with its first rows: before them, by itself.
    if (emptying && !transactional) {
        if (!file.steps.Run(lines.open, [&] {
                WhileBusy(file.reports, [&] {
                    for (const std::string& statement : target.first)
                        m_connection.Execute(statement);
                });
            })) {
            Skip();
            return;
        }
        Emptied(file, table, "by itself before its first line, as it keeps no transactions");
        InsertTarget rest = target;
        rest.first.clear();
        return SendLines(file, rest, columns, lines);
    }
    const bool batching = transactional && !m_settings.RowByRow;
    const Sending sending = batching ? Sending::InBatches : Sending::LineByLine;
    // After a lost connection the next file starts on a new one, whatever its driver knows.
    const auto rewrites =
        RewritesFor(fieldTypes, file.types ? &file.types->Guesser() : nullptr, ValueOptionsOf(m_settings));
    file.reports.SentBy(!batching ? "line by line" : m_bulk ? m_bulkPath : "batches");
    if (!m_sender.Send(file.copy, target, columns, lines, sending, batching ? m_bulk.get() : nullptr,
                       file.steps, file.reports, file.progress ? &*file.progress : nullptr, rewrites)) {
        m_bulk.reset();
        m_connection.Close();
    }
    if (const std::string changed = ChangesText(m_sender.Changed()); !changed.empty())
        file.reports.Note("Values changed by the options: " + changed + ".");
    file.interrupted = m_sender.Stopped();
    if (emptying && m_sender.FirstRan())
        Emptied(file, table, "in the transaction of its first rows");
}

// The statements that empty the table with the first rows stored into it. Where the manifest is kept, what
// it remembered of the table goes with its rows, but for this file's own row.
std::vector<std::string> Importer::Emptying(const OneFile& file, const std::string& table) const
{
    std::vector<std::string> statements{"DELETE FROM " + QuoteIdentifier(table)};
    if (file.progress) {
        for (std::string& forget : ImportManifest::ForgetOthersText(file.digest, file.target))
            statements.push_back(std::move(forget));
    }
    return statements;
}

// Once a run: the files after it append to what the first one stored.
void Importer::Emptied(OneFile& file, const std::string& table, const std::string& how)
{
    m_emptyPending = false;
    file.reports.Note("The table " + table + " was emptied " + how + ".");
}

}  // namespace qb
