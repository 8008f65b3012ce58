#pragma once

#include "run/ImportHost.h"

#include <deque>
#include <string>
#include <vector>

namespace qb::test {

// Records everything a run shows and answers prompts from a script.
class ScriptedHost : public ImportHost {
public:
    struct Report {
        std::string procedure;
        int line;
        std::string description;
    };

    std::deque<std::string> answers;  // an exhausted script answers empty
    std::vector<std::string> prompts;
    std::vector<std::string> proposed;  // the answer each prompt offered
    std::vector<std::string> messages;
    std::vector<Report> reports;
    std::vector<bool> busy;
    std::vector<std::string> created;
    std::vector<ImportProgress> progressShown;
    long yields = 0;

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override
    {
        reports.push_back({procedure, line, description});
    }
    std::string AskText(const std::string& prompt, const std::string& offered = {}) override
    {
        prompts.push_back(prompt);
        proposed.push_back(offered);
        if (answers.empty())
            return {};
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Yield() override { ++yields; }
    void SetBusy(bool on) override { busy.push_back(on); }
    void TableCreated(const std::string& name) override { created.push_back(name); }
    void ReportProgress(const ImportProgress& reported) override { progressShown.push_back(reported); }
};

}  // namespace qb::test
