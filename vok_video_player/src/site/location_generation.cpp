#include "vok_video_player/site/location_generation.h"

#include "vok_video_player/site/site_tables.h"

namespace vok {

std::vector<std::pair<double, double>> gen_locations(Random& random, int n_locations,
                                                     double radius) {
  std::vector<std::pair<double, double>> locations;
  auto draw = [&](double limit) {
    const double value = random.uniform() * (limit - radius);
    return value > radius ? value : radius;
  };
  for (int i = 0; i < n_locations; ++i) {
    const double x = draw(MAP_LIMITS.x);
    const double y = draw(MAP_LIMITS.y);
    locations.emplace_back(x, y);
  }
  return locations;
}

}  // namespace vok
