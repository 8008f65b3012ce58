#pragma once

#include <stdexcept>
#include <string>

namespace qb {

// A failed step of a handler: the line number that the error report shows.
class StepFailure : public std::runtime_error {
public:
    StepFailure(int line, const std::string& description)
        : std::runtime_error(description), m_line(line) {}
    int Line() const { return m_line; }

private:
    int m_line;
};

}  // namespace qb
