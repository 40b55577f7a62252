#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

#include "vok_video_player/common/random.h"
#include "vok_video_player/common/text_format.h"
#include "vok_video_player/player/dice.h"
#include "vok_video_player/player/playlist_rules.h"

namespace vok {
namespace {

TEST(NumberText, IsShortestRoundTripWithAPoint) {
  EXPECT_EQ(number_text(0.6), "0.6");
  EXPECT_EQ(number_text(0.37), "0.37");
  EXPECT_EQ(number_text(1.0), "1.0");
  EXPECT_EQ(number_text(0.0), "0.0");
  EXPECT_EQ(number_text(12.0), "12.0");
  EXPECT_EQ(number_text(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(number_text(-2.5), "-2.5");
  EXPECT_EQ(number_text(0.0001), "0.0001");
  EXPECT_EQ(number_text(1e-05), "1e-05");
  EXPECT_EQ(number_text(1e16), "1e+16");
  EXPECT_EQ(number_text(1234567890123456.0), "1234567890123456.0");
  EXPECT_EQ(number_text(0.8999999761581421), "0.8999999761581421");
  // Powers of two whose nearest text of that length reads back as another double.
  EXPECT_EQ(number_text(std::ldexp(1.0, 89)), "6.189700196426902e+26");
  EXPECT_EQ(number_text(std::ldexp(1.0, -1017)), "7.120236347223045e-307");
  EXPECT_EQ(number_text(-0.0), "-0.0");
}

TEST(Dice, RoundsTheExactBinaryValueTiesToEven) {
  EXPECT_EQ(number_text(round_two_decimals(0.125)), "0.12");
  EXPECT_EQ(number_text(round_two_decimals(0.375)), "0.38");
  EXPECT_EQ(number_text(round_two_decimals(0.995)), "0.99");
  EXPECT_EQ(number_text(round_two_decimals(0.005)), "0.01");
  EXPECT_EQ(number_text(round_two_decimals(0.9951)), "1.0");
  EXPECT_EQ(number_text(round_two_decimals(0.1)), "0.1");
  EXPECT_EQ(number_text(round_two_decimals(0.0)), "0.0");
  EXPECT_EQ(number_text(round_two_decimals(0.50)), "0.5");
}

TEST(Dice, JudgesTheUnroundedDrawAndLogsItRounded) {
  const DiceRoll above = judge_dice(0.603, 0.6);
  EXPECT_FALSE(above.success);
  EXPECT_EQ(above.log_line, "VOK video player: Random number is 0.6 and probability is 0.6.");
  EXPECT_TRUE(judge_dice(0.6, 0.6).success);
  EXPECT_EQ(judge_dice(0.3712, 0.6).log_line,
            "VOK video player: Random number is 0.37 and probability is 0.6.");
  EXPECT_TRUE(judge_dice(0.9999, 1.0).success);
  EXPECT_FALSE(judge_dice(0.0, -0.1).success);
}

TEST(TextFormat, TitleCasesEachRunOfLetters) {
  EXPECT_EQ(title_case("Guest room 1"), "Guest Room 1");
  EXPECT_EQ(title_case("front desk"), "Front Desk");
  EXPECT_EQ(title_case("LOBBY"), "Lobby");
  EXPECT_EQ(title_case("a1b c-d"), "A1B C-D");
}

TEST(TextFormat, WritesPlaylistsAndPrintLines) {
  EXPECT_EQ(format_playlist({"laptop"}), "['laptop']");
  EXPECT_EQ(format_playlist({"a", "b c"}), "['a', 'b c']");
  EXPECT_EQ(format_playlist({}), "[]");
  EXPECT_EQ(print_line({"        ", "seed:", "007"}), "         seed: 007");
}

TEST(Random, SeedsFromDigitTextsReproducibly) {
  Random a, b, c;
  a.seed_from_digits("007");
  b.seed_from_digits("7");
  EXPECT_EQ(a.uniform(), b.uniform());

  const std::string huge = "123456789012345678901234567890";
  a.seed_from_digits(huge);
  b.seed_from_digits(huge);
  c.seed_from_digits(huge + "1");
  const double first = a.uniform();
  EXPECT_EQ(first, b.uniform());
  EXPECT_NE(first, c.uniform());
  EXPECT_THROW(a.seed_from_digits("-5"), std::invalid_argument);
  EXPECT_THROW(a.seed_from_digits(""), std::invalid_argument);
}

TEST(Random, DigitTestAcceptsOnlyDigits) {
  EXPECT_TRUE(is_digit_text("42"));
  EXPECT_TRUE(is_digit_text("007"));
  for (const std::string text : {"", "random", "-5", "4.2", " 4", "4 "}) {
    EXPECT_FALSE(is_digit_text(text)) << text;
  }
}

TEST(Random, DrawsStayInRangeAndSamplesAreDistinct) {
  Random random;
  random.seed_from_digits("3");
  for (int i = 0; i < 10000; ++i) {
    const double u = random.uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
  const MediaList items = {"a", "b", "c", "d"};
  for (int i = 0; i < 200; ++i) {
    const MediaList picked = random.sample(items, 2);
    ASSERT_EQ(picked.size(), 2u);
    ASSERT_NE(picked[0], picked[1]);
  }
  MediaList shuffled = items;
  random.shuffle(shuffled);
  EXPECT_TRUE(std::is_permutation(shuffled.begin(), shuffled.end(), items.begin()));
  EXPECT_THROW(random.sample(items, 5), std::invalid_argument);
}

// The player looks ahead at the next pass's order to get its first clip ready: the look must be
// that order and must leave the seeded sequence as it is.
TEST(Random, PreviewIsTheNextShuffleAndTakesNoDraw) {
  Random looked, plain;
  looked.seed_from_digits("7");
  plain.seed_from_digits("7");
  const MediaList items = {"a", "b", "c", "d", "e", "f", "g"};
  const MediaList preview = looked.preview_shuffle(items);
  MediaList shuffled = items, unlooked = items;
  looked.shuffle(shuffled);
  plain.shuffle(unlooked);
  EXPECT_EQ(preview, shuffled);
  EXPECT_EQ(shuffled, unlooked);
  EXPECT_EQ(looked.uniform(), plain.uniform());
}

class PlaylistRules : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_food_ = FOOD_LIST;
    saved_objects_ = OBJECT_LIST;
    saved_all_ = ALL_THINGS;
    random_.seed_from_digits("11");
  }
  void TearDown() override {
    FOOD_LIST = saved_food_;
    OBJECT_LIST = saved_objects_;
    ALL_THINGS = saved_all_;
  }
  std::function<bool()> dice(bool result) {
    return [this, result] {
      ++rolls_;
      return result;
    };
  }
  RoomPlaylist build(const std::string& room, bool test, bool dice_result) {
    return build_playlist(room, test, dice(dice_result), random_);
  }

  Random random_;
  int rolls_ = 0;
  MediaList saved_food_, saved_objects_, saved_all_;
};

TEST_F(PlaylistRules, TestModeRollsNoDice) {
  const RoomPlaylist f = build("F", true, true);
  EXPECT_EQ(playlist_line(f), "Playlist for Kitchen (F): ['person']");
  const RoomPlaylist b = build("B", true, true);
  EXPECT_EQ(playlist_line(b), "Test in room B: playing laptop ['laptop']");
  const RoomPlaylist c = build("C", true, true);
  EXPECT_EQ(c.label, "Playlist for Bedroom (C):");
  build("A", true, true);
  EXPECT_EQ(rolls_, 0);
}

TEST_F(PlaylistRules, AliasedTablesAreReorderedInPlace) {
  // Rooms C (test, or dice false) and F (dice false) play a site table itself: its shuffle is
  // the table's new order for every later user.
  const RoomPlaylist c = build("C", true, false);
  EXPECT_EQ(c.list.get(), &FOOD_LIST);
  EXPECT_TRUE(std::is_permutation(FOOD_LIST.begin(), FOOD_LIST.end(), saved_food_.begin()));
  EXPECT_EQ(playlist_line(c), "Playlist for Bedroom (C): " + format_playlist(FOOD_LIST));

  EXPECT_EQ(build("C", false, false).list.get(), &OBJECT_LIST);
  EXPECT_EQ(build("F", false, false).list.get(), &ALL_THINGS);
  EXPECT_EQ(rolls_, 2);

  // A non-special room plays a copy of ALL_THINGS and "person", and leaves the table alone.
  const MediaList all_before = ALL_THINGS;
  const RoomPlaylist a = build("A", false, true);
  EXPECT_NE(a.list.get(), &ALL_THINGS);
  EXPECT_EQ(ALL_THINGS, all_before);
  MediaList expected = ALL_THINGS;
  expected.push_back("person");
  EXPECT_TRUE(
      std::is_permutation(a.list->begin(), a.list->end(), expected.begin(), expected.end()));
  EXPECT_EQ(a.label, "Playlist for non-special room:");
}

TEST_F(PlaylistRules, DiceRowsDrawFromTheTables) {
  for (int i = 0; i < 50; ++i) {
    const RoomPlaylist f = build("F", false, true);
    ASSERT_EQ(f.list->size(), 2u);
    EXPECT_EQ(std::count(f.list->begin(), f.list->end(), "person"), 1);
    const RoomPlaylist c = build("C", false, true);
    ASSERT_EQ(c.list->size(), 4u);
    const std::set<std::string> names(c.list->begin(), c.list->end());
    EXPECT_EQ(names.size(), 4u);
    int foods = 0;
    for (const auto& name : names) {
      foods += std::count(FOOD_LIST.begin(), FOOD_LIST.end(), name) > 0;
      EXPECT_TRUE(std::count(FOOD_LIST.begin(), FOOD_LIST.end(), name) ||
                  std::count(OBJECT_LIST.begin(), OBJECT_LIST.end(), name));
    }
    EXPECT_EQ(foods, 2);
  }
  // Room B outside test mode is a non-special room and never rolls.
  rolls_ = 0;
  EXPECT_EQ(build("B", false, true).label, "Playlist for non-special room:");
  EXPECT_EQ(rolls_, 0);
}

TEST(MediaKind, PrefersStillsAndIgnoresDirectories) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vok_kind_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string folder = dir.string() + "/";
  std::ofstream(folder + "both.jpg") << "x";
  std::ofstream(folder + "both.mp4") << "x";
  std::ofstream(folder + "clip.mp4") << "x";
  fs::create_directory(folder + "dir.jpg");
  std::ofstream(folder + "dir.mp4") << "x";
  fs::create_symlink(folder + "gone.jpg", folder + "broken.jpg");
  EXPECT_EQ(media_kind(folder, "both"), MediaKind::still);
  EXPECT_EQ(media_kind(folder, "clip"), MediaKind::video);
  EXPECT_EQ(media_kind(folder, "dir"), MediaKind::video);
  EXPECT_EQ(media_kind(folder, "broken"), MediaKind::missing);
  EXPECT_EQ(media_kind(folder, "nothing"), MediaKind::missing);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vok
