#include <gtest/gtest.h>

#include "vok_video_player/node/options.h"

namespace vok {
namespace {

ParseResult parse(const std::vector<std::string>& argv) { return parse_args(argv, "prog"); }

std::string error_line(const ParseResult& result) {
  return result.text.substr(result.text.find('\n') + 1);
}

TEST(ParseArgs, AppliesDefaultsAndValueForms) {
  const ParseResult plain = parse({"--video_folder", "/m"});
  ASSERT_EQ(plain.outcome, ParseResult::Outcome::ok);
  EXPECT_EQ(plain.args.seed, "random");
  EXPECT_EQ(plain.args.video_folder, "/m");
  EXPECT_FALSE(plain.args.test);

  const ParseResult attached = parse({"--video_folder=/m", "--seed=5", "--test"});
  ASSERT_EQ(attached.outcome, ParseResult::Outcome::ok);
  EXPECT_EQ(attached.args.seed, "5");
  EXPECT_TRUE(attached.args.test);

  EXPECT_EQ(parse({"--video_folder", "/m", "--seed", "abc"}).args.seed, "abc");
  EXPECT_EQ(parse({"--video_folder", "/m", "--seed=-5"}).args.seed, "-5");
  EXPECT_EQ(parse({"--video_folder", "/m", "--seed="}).args.seed, "");
  EXPECT_EQ(parse({"--video_folder", "/m", "--seed", ""}).args.seed, "");
  EXPECT_EQ(parse({"--video_folder=", "--seed=1"}).args.video_folder, "");
}

TEST(ParseArgs, AcceptsUniquePrefixesAndRepeats) {
  const ParseResult result =
      parse({"--vid", "/a", "--s", "1", "--video_folder", "/b", "--se=2", "--test", "--t"});
  ASSERT_EQ(result.outcome, ParseResult::Outcome::ok) << result.text;
  EXPECT_EQ(result.args.video_folder, "/b");
  EXPECT_EQ(result.args.seed, "2");
  EXPECT_TRUE(result.args.test);
}

TEST(ParseArgs, AnswersHelpBeforeAnyError) {
  for (const auto& argv : std::vector<std::vector<std::string>>{
           {"-h"}, {"--help"}, {"--he"}, {"--bogus", "--help"}, {"--video_folder", "/m", "-h"}}) {
    const ParseResult result = parse(argv);
    ASSERT_EQ(result.outcome, ParseResult::Outcome::help) << argv.front();
    EXPECT_EQ(result.exit_status, 0);
  }
  const std::string help = parse({"-h"}).text;
  EXPECT_EQ(help.rfind(usage_line("prog"), 0), 0u);
  for (const char* text : {"Generate locations", "Seed to remove randomness",
                           "Path to the video folder", "Test mode", "-h, --help"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
  // A help token given as a value is that value.
  EXPECT_EQ(parse({"--video_folder", "--help"}).args.video_folder, "--help");
}

TEST(ParseArgs, RejectsBadCommandLinesWithUsage) {
  struct Case {
    std::vector<std::string> argv;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{}, "prog: error: the following arguments are required: --video_folder\n"},
      {{"--seed", "4"}, "prog: error: the following arguments are required: --video_folder\n"},
      {{"--video_folder", "/m", "extra"}, "prog: error: unrecognized arguments: extra\n"},
      {{"--video_folder", "/m", "--bogus"}, "prog: error: unrecognized arguments: --bogus\n"},
      {{"--video_folder", "/m", "--test=1"},
       "prog: error: argument --test: ignored explicit argument '1'\n"},
      {{"--video_folder"}, "prog: error: argument --video_folder: expected one argument\n"},
      {{"--video_folder", "/m", "--seed"}, "prog: error: argument --seed: expected one argument\n"},
  };
  for (const auto& c : cases) {
    const ParseResult result = parse(c.argv);
    ASSERT_EQ(result.outcome, ParseResult::Outcome::error) << c.error;
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.text.substr(0, result.text.find('\n')), usage_line("prog"));
    EXPECT_EQ(error_line(result), c.error);
  }
  EXPECT_EQ(usage_line("prog"),
            "usage: prog [-h] [--seed SEED] --video_folder VIDEO_FOLDER [--test]");
}

}  // namespace
}  // namespace vok
