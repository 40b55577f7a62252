#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "vok_video_player/node/folder_check.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {
namespace {

namespace fs = std::filesystem;

class FolderCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vok_folder_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    folder_ = dir_.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }
  void touch(const std::string& name) { std::ofstream(folder_ + name) << "x"; }
  void fill_all_but(const std::string& missing) {
    for (const auto& name : required_media_names()) {
      if (name != missing) touch(file_stem(name) + (name.size() % 2 ? ".jpg" : ".mp4"));
    }
  }

  fs::path dir_;
  std::string folder_;
};

TEST_F(FolderCheck, NormalisesTheTrailingSlash) {
  EXPECT_EQ(normalise_folder("/data/media"), "/data/media/");
  EXPECT_EQ(normalise_folder("/data/media/"), "/data/media/");
  EXPECT_EQ(normalise_folder("/data//"), "/data//");
  EXPECT_THROW(normalise_folder(""), std::invalid_argument);
}

TEST_F(FolderCheck, AcceptsAFolderWithEveryName) {
  fill_all_but("");
  touch("unrelated.txt");
  EXPECT_EQ(media_folder_problem(folder_), std::nullopt);
}

TEST_F(FolderCheck, ReportsAMissingFolder) {
  EXPECT_EQ(media_folder_problem(folder_ + "nope/"),
            "Video folder " + folder_ + "nope/ does not exist");
  touch("plain");
  EXPECT_EQ(media_folder_problem(folder_ + "plain/"),
            "Video folder " + folder_ + "plain/ does not exist");
}

TEST_F(FolderCheck, ReportsTheFirstMissingNameOnly) {
  EXPECT_EQ(
      media_folder_problem(folder_),
      "Element " + folder_ + "pizza{.mp4/.jpg} does not exist! Please add it to the video folder.");
  fill_all_but("person");
  EXPECT_EQ(media_folder_problem(folder_), "Element " + folder_ +
                                               "person{.mp4/.jpg} does not exist! Please add it to "
                                               "the video folder.");
}

TEST_F(FolderCheck, CountsOnlyRegularFilesFollowingLinks) {
  fill_all_but("dog");
  fs::create_directory(folder_ + "dog.mp4");
  EXPECT_NE(media_folder_problem(folder_)->find("dog{.mp4/.jpg}"), std::string::npos);
  fs::create_symlink(folder_ + "missing.jpg", folder_ + "dog.jpg");
  EXPECT_NE(media_folder_problem(folder_)->find("dog{.mp4/.jpg}"), std::string::npos);
  fs::remove(folder_ + "dog.jpg");
  touch("real.jpg");
  fs::create_symlink(folder_ + "real.jpg", folder_ + "dog.jpg");
  EXPECT_EQ(media_folder_problem(folder_), std::nullopt);
}

}  // namespace
}  // namespace vok
