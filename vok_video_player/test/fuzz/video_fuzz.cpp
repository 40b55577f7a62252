// A clip as the player plays it: opened, measured, its first frames decoded into a buffer of
// the announced shape.
#include <cstdlib>

#include "fuzz_file.h"
#include "vok_video_player/media/frame_size.h"
#include "vok_video_player/media/media_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static vok_fuzz::FuzzFile file;
  vok::VideoSource clip(file.hold(data, size));
  if (clip.rows() < 1 || clip.cols() < 1 ||
      static_cast<long long>(clip.rows()) * clip.cols() > vok::MAX_FRAME_PIXELS)
    std::abort();
  cv::Mat buffer(clip.rows(), clip.cols(), CV_8UC3);
  // A few frames: the opening and the first decodes are where a file's lies show.
  for (int i = 0; i < 4; ++i) {
    cv::Mat frame = buffer;
    const vok::VideoSource::Read read = clip.read(frame);
    if (read != vok::VideoSource::Read::frame) {
      if (read == vok::VideoSource::Read::failed && clip.problem().empty()) std::abort();
      break;
    }
    if (frame.empty() || frame.type() != CV_8UC3 || frame.total() > vok::MAX_FRAME_PIXELS)
      std::abort();
  }
  return 0;
}
