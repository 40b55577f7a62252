// The bench's figures come from these functions; a wrong percentile or a misplaced play boundary
// would make every table it writes wrong, so they are checked on series with known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vok_video_player/bench/bench_stats.h"

namespace vb = vok::bench;

namespace {

vb::Arrival frame(double time, vb::Colour colour = vb::Colour::red, int index = 0) {
  vb::Arrival a;
  a.time = time;
  a.mark.colour = colour;
  a.mark.index = index;
  return a;
}

/// n frames of one colour, frame k at start + k * period + extra(k), numbered from 0.
template <class Extra>
std::vector<vb::Arrival> series(int n, double start, double period, Extra extra,
                                vb::Colour colour = vb::Colour::red) {
  std::vector<vb::Arrival> out;
  for (int k = 0; k < n; ++k) out.push_back(frame(start + k * period + extra(k), colour, k));
  return out;
}

}  // namespace

TEST(BenchStats, PercentileInterpolatesBetweenRanksAndHandlesEdges) {
  EXPECT_TRUE(std::isnan(vb::percentile({}, 50)));
  EXPECT_DOUBLE_EQ(vb::percentile({7}, 99), 7);
  // Unsorted input: the median of 1..4 lies between 2 and 3.
  EXPECT_DOUBLE_EQ(vb::percentile({4, 1, 3, 2}, 50), 2.5);
  EXPECT_DOUBLE_EQ(vb::percentile({4, 1, 3, 2}, 0), 1);
  EXPECT_DOUBLE_EQ(vb::percentile({4, 1, 3, 2}, 100), 4);
  // p99 of 0..100 is 99, not the maximum.
  std::vector<double> hundred;
  for (int i = 0; i <= 100; ++i) hundred.push_back(i);
  EXPECT_DOUBLE_EQ(vb::percentile(hundred, 99), 99);
}

TEST(BenchStats, StddevIsTheSampleDeviation) {
  EXPECT_TRUE(std::isnan(vb::stddev({1})));
  EXPECT_DOUBLE_EQ(vb::stddev({5, 5, 5}), 0);
  // Sample (n - 1) deviation of 2, 4, 4, 4, 5, 5, 7, 9 is sqrt(32 / 7), not the population's 2.
  EXPECT_NEAR(vb::stddev({2, 4, 4, 4, 5, 5, 7, 9}), std::sqrt(32.0 / 7.0), 1e-12);
  EXPECT_DOUBLE_EQ(vb::mean({1, 2, 6}), 3);
  EXPECT_DOUBLE_EQ(vb::maximum({1, 9, 6}), 9);
}

TEST(BenchStats, TimePlayLeavesOutTheFirstFrameAndMeasuresDrift) {
  const double period = 1.0 / 30;
  // A play whose first frame comes early (the file loaded after the clock started) and whose
  // other frames are on time: no drift, every interval one period, lateness zero.
  auto on_time = series(240, 10.0, period, [](int k) { return k == 0 ? 0.015 : 0.0; });
  const vb::PlayTiming t = vb::time_play(on_time, 0, on_time.size(), period);
  ASSERT_EQ(t.lateness.size(), 239u);
  ASSERT_EQ(t.intervals.size(), 238u);
  EXPECT_NEAR(vb::stddev(t.intervals), 0, 1e-9);
  EXPECT_NEAR(vb::percentile(t.lateness, 99), 0, 1e-9);
  EXPECT_NEAR(t.drift, 0, 1e-9);
  EXPECT_NEAR(t.fitted_period, period, 1e-12);
  EXPECT_NEAR(t.first_interval, period - 0.015, 1e-9);

  // A clock 0.1% slow: every frame later by 0.1% of its age. The fitted period shows it, and
  // the drift is about 0.9 of the play's length times 0.001.
  auto slow = series(240, 10.0, period, [&](int k) { return k * period * 0.001; });
  const vb::PlayTiming s = vb::time_play(slow, 0, slow.size(), period);
  EXPECT_NEAR(s.fitted_period, period * 1.001, 1e-12);
  EXPECT_NEAR(s.drift, 216 * period * 0.001, 2 * period * 0.001);

  // One late frame shows in the lateness maximum and the interval maximum, not in the drift.
  auto hiccup = series(240, 10.0, period, [](int k) { return k == 100 ? 0.02 : 0.0; });
  const vb::PlayTiming h = vb::time_play(hiccup, 0, hiccup.size(), period);
  EXPECT_NEAR(vb::maximum(h.lateness), 0.02, 1e-9);
  EXPECT_NEAR(vb::maximum(h.intervals), period + 0.02, 1e-9);
  EXPECT_NEAR(h.drift, 0, 1e-9);

  // A second frame off the schedule too (a clock that restarted after a slow first frame)
  // moves neither the schedule's start, so the other frames are not seen as late, nor the rate.
  auto restart = series(240, 10.0, period, [](int k) { return k == 1 ? -0.015 : 0.0; });
  const vb::PlayTiming r = vb::time_play(restart, 0, restart.size(), period);
  EXPECT_NEAR(vb::percentile(r.lateness, 50), 0, 1e-9);
  EXPECT_NEAR(r.drift, 0, 1e-9);
  EXPECT_NEAR(r.fitted_period, period, period * 1e-4);

  // Too short to time: no crash, nothing counted.
  const vb::PlayTiming one = vb::time_play(on_time, 0, 1, period);
  EXPECT_TRUE(one.lateness.empty());
  EXPECT_TRUE(one.intervals.empty());
}

TEST(BenchStats, SplitPlaysAtColourChangeRestartAndAnnouncedStarts) {
  std::vector<vb::Arrival> frames = {
      frame(1.0, vb::Colour::red, 0),   frame(1.1, vb::Colour::red, 1),
      frame(1.2, vb::Colour::red, 0),    // video started over
      frame(1.3, vb::Colour::green, 1),  // another item
      frame(1.4, vb::Colour::green, 1),  // same still again...
      frame(1.5, vb::Colour::green, 1),  // ...announced as a new play at 1.45
  };
  EXPECT_EQ(vb::split_plays(frames, {1.45}), (std::vector<std::size_t>{0, 2, 3, 5}));
  // An announcement before the first frame or after the last does not split anything.
  EXPECT_EQ(vb::split_plays(frames, {0.5, 9.0}), (std::vector<std::size_t>{0, 2, 3}));
  // A repeated frame number (a frame sent twice) stays in its play.
  std::vector<vb::Arrival> repeat = {frame(1.0, vb::Colour::red, 4),
                                     frame(1.1, vb::Colour::red, 4)};
  EXPECT_EQ(vb::split_plays(repeat, {}), (std::vector<std::size_t>{0}));
  // Two one-frame items of one colour, told apart by their widths alone.
  repeat[1].width = 1282;
  EXPECT_EQ(vb::split_plays(repeat, {}), (std::vector<std::size_t>{0, 1}));
}

TEST(BenchStats, CheckSequenceCountsSkippedAndRepeatedFrames) {
  std::vector<vb::Arrival> frames;
  for (int index : {0, 1, 2, 5, 5, 6, 7, 7, 7}) frames.push_back(frame(0, vb::Colour::red, index));
  const vb::SequenceFaults f = vb::check_sequence(frames, 0, frames.size());
  EXPECT_EQ(f.skipped, 2u);   // 3 and 4
  EXPECT_EQ(f.repeated, 3u);  // 5 once, 7 twice
}

TEST(BenchStats, MatchChangesFindsLastOldAndFirstNewFrame) {
  using C = vb::Colour;
  const std::vector<vb::Arrival> frames = {
      frame(0.00, C::red),   frame(0.10, C::red),   frame(0.20, C::red),  // pose at 0.15
      frame(0.30, C::green), frame(0.40, C::green),                       // pose at 0.45
      frame(0.50, C::green), frame(0.70, C::red),                         // pose at 0.80, 0.90
  };
  const auto r = vb::match_changes(frames, {0.15, 0.45, 0.80, 0.90});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_NEAR(r[0].old_last, 0.05, 1e-12);  // the red frame at 0.20 was already on its way
  EXPECT_NEAR(r[0].new_first, 0.15, 1e-12);
  EXPECT_NEAR(r[1].old_last, 0.05, 1e-12);
  EXPECT_NEAR(r[1].new_first, 0.25, 1e-12);
  // No frame of another colour before the next change: unanswered.
  EXPECT_TRUE(std::isnan(r[2].new_first));
  EXPECT_TRUE(std::isnan(r[3].new_first));
  // A change before any frame has nothing to compare with.
  EXPECT_TRUE(std::isnan(vb::match_changes(frames, {-1.0})[0].new_first));
}

TEST(BenchStats, ReadMarkDecodesColourBoxAndFrameNumber) {
  const uint32_t width = 640, height = 96, step = width * 3;
  std::vector<uint8_t> image(step * height, 0);
  const auto paint = [&](int x0, int y0, int side, uint8_t b, uint8_t g, uint8_t r) {
    for (int y = y0; y < y0 + side; ++y)
      for (int x = x0; x < x0 + side; ++x) {
        uint8_t* p = &image[y * step + x * 3];
        p[0] = b, p[1] = g, p[2] = r;
      }
  };
  paint(0, 32, 64, 10, 240, 20);  // the colour box below the stripe: green, as compressed
  for (int bit : {0, 2, 5, 13}) paint(64 + 32 * bit, 0, 32, 250, 250, 250);
  const vb::FrameMark m = vb::read_mark(image.data(), width, height, step);
  EXPECT_EQ(m.colour, vb::Colour::green);
  EXPECT_EQ(m.index, 1 + 4 + 32 + 8192);

  // Too narrow for the stripe: colour only. Too small for the box: nothing.
  EXPECT_EQ(vb::read_mark(image.data(), 100, height, step).index, -1);
  EXPECT_EQ(vb::read_mark(image.data(), 32, 32, step).colour, vb::Colour::unknown);
  // Washed-out colours are not guessed at.
  EXPECT_EQ(vb::classify_colour(120, 120, 200), vb::Colour::unknown);
  EXPECT_EQ(vb::classify_colour(20, 30, 200), vb::Colour::red);
}

TEST(BenchStats, ProcTextParsing) {
  // The command name may hold blanks and parentheses; fields are counted after the last ')'.
  const std::string stat =
      "4242 (my (odd) name) S 1 4242 4242 0 -1 4194304 100 0 0 0 250 37 0 0 20 0 9 0 5 6 7";
  EXPECT_EQ(vb::parse_stat_ticks(stat), 287);
  EXPECT_EQ(vb::parse_stat_ticks("garbage"), -1);
  EXPECT_EQ(vb::parse_stat_ticks("1 (x) S 1 2"), -1);
  EXPECT_EQ(vb::parse_vmrss_kb("Name:\tx\nVmPeak:\t 900 kB\nVmRSS:\t  123456 kB\n"), 123456);
  EXPECT_EQ(vb::parse_vmrss_kb("Name:\tx\n"), -1);
}
