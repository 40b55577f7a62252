#ifndef VOK_VIDEO_PLAYER_SITE_LOCATION_GENERATION_H
#define VOK_VIDEO_PLAYER_SITE_LOCATION_GENERATION_H

#include <utility>
#include <vector>

#include "vok_video_player/common/random.h"

namespace vok {

/// \brief `n_locations` random (x, y) positions below MAP_LIMITS less `radius`.
///
/// Each coordinate is u * (limit - radius) for a fresh uniform u, replaced by `radius` itself
/// when it is not greater than `radius`; x is drawn before y.
std::vector<std::pair<double, double>> gen_locations(Random& random, int n_locations,
                                                     double radius = 5);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_SITE_LOCATION_GENERATION_H
