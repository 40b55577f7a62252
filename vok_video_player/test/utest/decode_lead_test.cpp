#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "vok_video_player/media/decode_lead.h"

using vok::DecodeLead;

TEST(DecodeLead, CoversTheSlowestRecentDecodeAndForgetsOldSpikes) {
  DecodeLead lead;
  EXPECT_DOUBLE_EQ(lead.seconds(), DecodeLead::MARGIN);
  lead.record(0.009);
  lead.record(0.003);
  EXPECT_DOUBLE_EQ(lead.seconds(), 0.009 + DecodeLead::MARGIN);
  // One slow frame (a key frame, a page-cache miss) must not keep decodes early for a whole clip.
  for (std::size_t i = 0; i + 2 < DecodeLead::WINDOW; ++i) lead.record(0.003);
  EXPECT_DOUBLE_EQ(lead.seconds(), 0.009 + DecodeLead::MARGIN);
  lead.record(0.003);
  EXPECT_DOUBLE_EQ(lead.seconds(), 0.003 + DecodeLead::MARGIN);
}

TEST(DecodeLead, ClockOdditiesDoNotPoisonTheLead) {
  DecodeLead lead;
  lead.record(std::numeric_limits<double>::quiet_NaN());
  lead.record(-1.0);
  lead.record(std::numeric_limits<double>::infinity());
  EXPECT_DOUBLE_EQ(lead.seconds(), DecodeLead::MARGIN);
  lead.record(0.005);
  EXPECT_DOUBLE_EQ(lead.seconds(), 0.005 + DecodeLead::MARGIN);
}
