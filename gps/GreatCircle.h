#pragma once

namespace droskal {

// Great-circle distance in kilometres on a sphere of the Earth's mean radius.
double HaversineKm(double lat1, double lon1, double lat2, double lon2);

}  // namespace droskal
