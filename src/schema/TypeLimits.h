#pragma once

#include <cstddef>

namespace qb {

// The databases' limits that the guess, the type names and the fit check share.

inline constexpr std::size_t kMariadbTextBytes = 65535;
// PostgreSQL's NUMERIC holds this many digits before the point and after it.
inline constexpr long long kNumericIntegerDigits = 131072;
inline constexpr long long kNumericScale = 16383;
// NUMERIC(p,s) takes a precision up to this.
inline constexpr std::size_t kNumericPrecision = 1000;
// MariaDB's DECIMAL.
inline constexpr std::size_t kDecimalPrecision = 65;
inline constexpr std::size_t kDecimalScale = 38;
// A double gives back any text of this many significant digits whose first
// one stands between these powers of ten: normal numbers, clear of the largest.
inline constexpr std::size_t kDoubleDigits = 15;
inline constexpr long kDoubleLowestPower = -307;
inline constexpr long kDoubleHighestPower = 307;

}  // namespace qb
