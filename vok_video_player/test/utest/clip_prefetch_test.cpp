// A clip got ready ahead of its play must be the file as it is when it plays, and must go on
// where its first frame left off.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <opencv2/videoio.hpp>

#include "vok_video_player/media/clip_prefetch.h"

namespace vok {
namespace {

/// A 64x48 MJPEG clip whose frames are grey levels `first`, `first` + 40, ...
void write_clip(const std::string& path, int first, int frames) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30,
                         cv::Size(64, 48));
  ASSERT_TRUE(writer.isOpened());
  for (int i = 0; i < frames; ++i)
    writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(first + 40 * i)));
}

int grey(const Frame& frame) { return frame.pixels().at<cv::Vec3b>(24, 32)[1]; }

TEST(ClipPrefetch, GivesTheFileAsItIsWhenTakenAndGoesOnAfterItsFirstFrame) {
  char folder[] = "/tmp/vok_prefetch_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string a = std::string(folder) + "/a.mp4", b = std::string(folder) + "/b.mp4";
  write_clip(a, 20, 3);
  const ImageBridge bridge;
  ClipPrefetch prefetch(bridge);

  prefetch.prepare(a, Frame{});
  EXPECT_FALSE(prefetch.take(b)) << "a clip prepared for another file";
  std::optional<PreparedClip> got = prefetch.take(a);
  ASSERT_TRUE(got && got->read == VideoSource::Read::frame);
  EXPECT_NEAR(grey(got->first), 20, 6);
  Frame next;
  ASSERT_EQ(read_frame(*got->clip, bridge, next), VideoSource::Read::frame);
  EXPECT_NEAR(grey(next), 60, 6) << "the clip did not go on after its first frame";
  EXPECT_FALSE(prefetch.take(a)) << "a prepared clip was given twice";
  prefetch.dispose(std::move(got->clip));

  // Replaced after it was got ready: what is given is the new file.
  write_clip(b, 100, 2);
  prefetch.prepare(a, Frame{});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // opened by now
  ASSERT_EQ(std::rename(b.c_str(), a.c_str()), 0);
  got = prefetch.take(a);
  if (got && got->read == VideoSource::Read::frame) {
    EXPECT_NEAR(grey(got->first), 100, 6) << "the clip as it was before it was replaced";
  }
  std::remove(a.c_str());
  rmdir(folder);
}

}  // namespace
}  // namespace vok
