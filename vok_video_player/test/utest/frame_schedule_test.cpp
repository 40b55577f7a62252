#include <cstdint>

#include <gtest/gtest.h>

#include "vok_video_player/media/frame_schedule.h"

using vok::FrameSchedule;

namespace {

constexpr int64_t PERIOD = 33'333'333;  // 30 Hz
constexpr int64_t MS = 1'000'000;

}  // namespace

TEST(FrameSchedule, WakeUpDelaysDoNotDriftTheRate) {
  FrameSchedule schedule;
  EXPECT_FALSE(schedule.scheduled());
  schedule.published(1000 * MS, 1000 * MS, PERIOD, true);
  const int64_t first_due = schedule.due();
  EXPECT_EQ(first_due, 1000 * MS + PERIOD);
  // Every 240th frame starts an item that was ready in time.
  for (int i = 0; i < 960; ++i) {
    const int64_t due = schedule.due();
    schedule.published(due - 5 * MS, due + (i % 7) * MS, PERIOD, i % 240 == 0);
  }
  EXPECT_EQ(schedule.due(), first_due + 960 * PERIOD);
}

TEST(FrameSchedule, ALateStartRestartsTheScheduleInsteadOfBursting) {
  // Each case: when the frame was ready and went out, relative to its due time, whether it is
  // an item's first, and when the next frame is then due.
  const struct {
    const char* what;
    int64_t ready, published;
    bool first;
    int64_t next;
  } cases[] = {
      {"an item ready in time", -5 * MS, 1 * MS, true, PERIOD},
      {"an item slow to get ready", PERIOD / 2, PERIOD / 2, true, PERIOD / 2 + PERIOD},
      {"an item after five idle seconds", 5000 * MS, 5000 * MS, true, 5000 * MS + PERIOD},
      {"a frame decoded late within its item", 10 * MS, 10 * MS, false, PERIOD},
      {"a frame more than a period late", 0, 2 * PERIOD, false, 3 * PERIOD},
      {"a clock gone back", -2000 * MS, -2000 * MS, false, -2000 * MS + PERIOD},
  };
  for (const auto& c : cases) {
    FrameSchedule schedule;
    schedule.published(1000 * MS, 1000 * MS, PERIOD, true);
    const int64_t due = schedule.due();
    schedule.published(due + c.ready, due + c.published, PERIOD, c.first);
    EXPECT_EQ(schedule.due(), due + c.next) << c.what;
  }
}
