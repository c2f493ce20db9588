// Units shared by the rooms that report times to people.
#pragma once

namespace kvw {

inline constexpr double kMinutesPerDay = 1440;

}  // namespace kvw
