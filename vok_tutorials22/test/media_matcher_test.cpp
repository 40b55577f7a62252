#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "vok_tutorials22/media_matcher.h"

namespace vt = vok_tutorials22;
namespace fs = std::filesystem;

namespace {

cv::Mat solid(int b, int g, int r, cv::Size size = {64, 48}) {
  return cv::Mat(size, CV_8UC3, cv::Scalar(b, g, r));
}

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/vok_matcher_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempFolder() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string path() const { return path_.string(); }

 private:
  fs::path path_;
};

}  // namespace

TEST(Similarity, SpansZeroToOneFromOppositeToEqualPictures) {
  const cv::Mat black = vt::signature(solid(0, 0, 0));
  const cv::Mat white = vt::signature(solid(255, 255, 255));
  EXPECT_DOUBLE_EQ(vt::similarity(white, white), 1.0);
  EXPECT_DOUBLE_EQ(vt::similarity(black, white), 0.0);
  EXPECT_NEAR(vt::similarity(black, vt::signature(solid(51, 51, 51))), 0.8, 1e-9);
}

TEST(Signature, ComparesFramesOfAnySizeAndChannelCount) {
  const cv::Mat big = vt::signature(solid(10, 200, 30, {640, 480}));
  const cv::Mat small = vt::signature(solid(10, 200, 30, {33, 17}));
  EXPECT_EQ(big.size(), cv::Size(vt::SIGNATURE_WIDTH, vt::SIGNATURE_HEIGHT));
  EXPECT_DOUBLE_EQ(vt::similarity(big, small), 1.0);

  const cv::Mat grey = vt::signature(cv::Mat(48, 64, CV_8UC1, cv::Scalar(90)));
  EXPECT_DOUBLE_EQ(vt::similarity(grey, vt::signature(solid(90, 90, 90))), 1.0);
  EXPECT_THROW(vt::signature(cv::Mat()), std::invalid_argument);
  EXPECT_THROW(vt::signature(cv::Mat(4, 4, CV_16UC3)), std::invalid_argument);
}

TEST(MediaName, RestoresBlanksFromTheFileStem) {
  EXPECT_EQ(vt::media_name_of_stem("hot_dog"), "hot dog");
  EXPECT_EQ(vt::media_name_of_stem("pizza"), "pizza");
}

TEST(Catalogue, RanksByBestPictureAndDropsDissimilarItems) {
  vt::MediaCatalogue catalogue;
  catalogue.add("red", {vt::signature(solid(0, 0, 250))});
  catalogue.add("dark red", {vt::signature(solid(0, 0, 200))});
  // A video matches through its closest frame, not its first.
  catalogue.add("clip", {vt::signature(solid(255, 0, 0)), vt::signature(solid(0, 0, 240))});
  catalogue.add("blue", {vt::signature(solid(255, 0, 0))});

  const auto matches = catalogue.match(vt::signature(solid(0, 0, 250)), 0.9, 10);
  ASSERT_EQ(matches.size(), 3u);
  EXPECT_EQ(matches[0].name, "red");
  EXPECT_DOUBLE_EQ(matches[0].similarity, 1.0);
  EXPECT_EQ(matches[1].name, "clip");
  EXPECT_EQ(matches[2].name, "dark red");
  EXPECT_GT(matches[1].similarity, matches[2].similarity);

  EXPECT_EQ(catalogue.match(vt::signature(solid(0, 0, 250)), 0.9, 1).size(), 1u);
  EXPECT_TRUE(catalogue.match(vt::signature(solid(0, 255, 0)), 0.9, 10).empty());
}

TEST(Catalogue, KeepsStillAndVideoOfOneNameTogether) {
  vt::MediaCatalogue catalogue;
  catalogue.add("dog", {vt::signature(solid(0, 0, 0))});
  catalogue.add("dog", {vt::signature(solid(255, 255, 255))});
  EXPECT_EQ(catalogue.size(), 1u);
  EXPECT_EQ(catalogue.match(vt::signature(solid(255, 255, 255)), 0.99, 5).size(), 1u);
}

TEST(LoadFolder, ReadsStillsAndVideosAndReportsUnreadableFiles) {
  TempFolder folder;
  ASSERT_TRUE(cv::imwrite(folder.file("hot_dog.jpg"), solid(0, 0, 255)));
  cv::VideoWriter writer(folder.file("clip.mp4"), cv::CAP_FFMPEG,
                         cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 30, cv::Size(64, 48));
  ASSERT_TRUE(writer.isOpened());
  for (int i = 0; i < 10; ++i) writer.write(solid(25 * i, 0, 0));
  writer.release();
  std::ofstream(folder.file("broken.jpg")) << "not a picture";
  std::ofstream(folder.file("notes.txt")) << "ignored";
  fs::create_directory(folder.file("subfolder.jpg"));

  const vt::LoadedFolder loaded = vt::load_media_folder(folder.path(), 4);
  EXPECT_EQ(loaded.catalogue.size(), 2u);
  ASSERT_EQ(loaded.problems.size(), 1u);
  EXPECT_NE(loaded.problems[0].find("broken.jpg"), std::string::npos);

  const auto still = loaded.catalogue.match(vt::signature(solid(0, 0, 255)), 0.95, 5);
  ASSERT_FALSE(still.empty());
  EXPECT_EQ(still[0].name, "hot dog");
  // Frames 0, 2, 5 and 7 of ten are kept: the last frame (225) is not, its neighbour (175) is.
  const auto late = loaded.catalogue.match(vt::signature(solid(175, 0, 0)), 0.95, 5);
  ASSERT_FALSE(late.empty());
  EXPECT_EQ(late[0].name, "clip");
  EXPECT_TRUE(loaded.catalogue.match(vt::signature(solid(225, 0, 0)), 0.95, 5).empty());
}

TEST(LoadFolder, RefusesAMissingFolder) {
  EXPECT_THROW(vt::load_media_folder("/nonexistent/vok/media", 10), std::runtime_error);
}
