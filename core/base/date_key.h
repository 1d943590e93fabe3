// A calendar day as one number, for the date filters of saving and search.
#pragma once

#include <cstdint>

namespace dravik::base {

// A sortable key of a calendar day: keys compare as (year, month, day)
// compare. Month and day may be anything in 0..99, so the odd values of a
// damaged DOS date word (month 0 or 13..15, day 0) still sort next to their
// neighbours.
constexpr std::int64_t DateKey(int year, int month, int day) noexcept {
    return std::int64_t{year} * 10000 + std::int64_t{month} * 100 + day;
}

}  // namespace dravik::base
