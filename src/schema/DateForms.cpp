#include "schema/DateForms.h"

// Only ISO dates are known so far: every other form is left as text.
namespace qb {

void DateLearning::Observe(std::string_view value)
{
    if (value.empty())
        return;
    m_seen = true;
    m_failed = true;
}

std::optional<DateForm> DateLearning::Form() const
{
    return std::nullopt;
}

bool DateLearning::OrderFromLocale() const
{
    return false;
}

bool AppendIso(std::string_view value, const DateForm& form, std::string& out)
{
    if (!form.Iso())
        return false;
    out.append(value);
    return true;
}

std::optional<DateForm> ParseDateFormat(std::string_view text)
{
    if (text == "YYYY-MM-DD")
        return DateForm{};
    return std::nullopt;
}

std::string DateFormName(const DateForm& form)
{
    return form.Iso() ? "YYYY-MM-DD" : "";
}

}  // namespace qb
