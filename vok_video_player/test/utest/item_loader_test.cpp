// The main loop plays what the loader got ready while the item before played. A media folder
// is the user's: a file rewritten in the meantime must play as it is now, not as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <opencv2/imgcodecs.hpp>

#include "vok_video_player/media/item_loader.h"

namespace {

std::string write_still(const std::string& path, const cv::Scalar& colour) {
  cv::imwrite(path, cv::Mat(8, 8, CV_8UC3, colour));
  return path;
}

cv::Vec3b centre(const vok::PreparedItem& item) { return item.still.frame.at<cv::Vec3b>(4, 4); }

}  // namespace

TEST(ItemLoader, PlaysAFileAsItIsWhenTakenNotAsItWasWhenGotReady) {
  char dir[] = "/tmp/vok_item_loader_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const cv::Scalar red(0, 0, 255), blue(255, 0, 0);
  const std::string a = write_still(std::string(dir) + "/a.jpg", red);
  const std::string b = write_still(std::string(dir) + "/b.jpg", blue);
  vok::ItemLoader loader;

  loader.ahead(a);
  EXPECT_GT(centre(loader.take(a))[2], 200);

  // Asked for one item, given another: the one asked for now.
  loader.ahead(a);
  EXPECT_GT(centre(loader.take(b))[0], 200);

  // Rewritten after it was got ready: loaded again.
  loader.ahead(a);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  write_still(a, blue);
  EXPECT_GT(centre(loader.take(a))[0], 200);

  // Gone by the time it is taken: nothing to play.
  loader.ahead(b);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::remove(b.c_str());
  EXPECT_TRUE(loader.take(b).still.frame.empty());

  std::remove(a.c_str());
  rmdir(dir);
}
