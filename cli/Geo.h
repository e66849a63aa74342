#pragma once

#include "gps/GreatCircle.h"

namespace droskal::cli {

inline constexpr double kKmPerNauticalMile = 1.852;

using droskal::HaversineKm;

}  // namespace droskal::cli
