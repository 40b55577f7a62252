// A still as the player loads it: header read, size checked, decoded, cut short told.
#include <cstdlib>

#include "fuzz_file.h"
#include "vok_video_player/media/frame_size.h"
#include "vok_video_player/media/media_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static vok_fuzz::FuzzFile file;
  const vok::StillPicture still = vok::load_still_picture(file.hold(data, size));
  // Whatever the bytes, a picture comes out within the limit, or a problem and no picture.
  if (still.problem.empty() == still.image.empty()) std::abort();
  if (!still.image.empty() &&
      (still.image.type() != CV_8UC3 || still.image.total() > vok::MAX_FRAME_PIXELS))
    std::abort();
  return 0;
}
