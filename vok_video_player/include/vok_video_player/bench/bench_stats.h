#ifndef VOK_VIDEO_PLAYER_BENCH_BENCH_STATS_H
#define VOK_VIDEO_PLAYER_BENCH_BENCH_STATS_H

// Statistics of the stream bench: pure functions over arrival times, with no ROS in sight, so
// that they can be checked on made-up series.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace vok {
namespace bench {

/// \brief Not-a-number, the value of a figure that has no samples.
constexpr double NO_VALUE = std::numeric_limits<double>::quiet_NaN();

/// \brief The p-th percentile (p in [0, 100]) with linear interpolation between closest ranks;
/// NO_VALUE for no samples.
inline double percentile(std::vector<double> values, double p) {
  if (values.empty()) return NO_VALUE;
  std::sort(values.begin(), values.end());
  const double rank = std::clamp(p, 0.0, 100.0) / 100.0 * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(rank));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (rank - static_cast<double>(below)) * (values[above] - values[below]);
}

/// \brief Arithmetic mean; NO_VALUE for no samples.
inline double mean(const std::vector<double>& values) {
  if (values.empty()) return NO_VALUE;
  double sum = 0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

/// \brief Sample standard deviation (n - 1 in the denominator); NO_VALUE below two samples.
inline double stddev(const std::vector<double>& values) {
  if (values.size() < 2) return NO_VALUE;
  const double m = mean(values);
  double sum = 0;
  for (double v : values) sum += (v - m) * (v - m);
  return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

/// \brief Largest value; NO_VALUE for no samples.
inline double maximum(const std::vector<double>& values) {
  if (values.empty()) return NO_VALUE;
  return *std::max_element(values.begin(), values.end());
}

/// \brief The item colour codes of the bench clips: a solid box in the top-left corner.
enum class Colour : char { red = 'R', green = 'G', blue = 'B', unknown = '?' };

/// \brief What the bench reads from a frame: its colour code and its frame number.
struct FrameMark {
  Colour colour = Colour::unknown;
  int index = -1;  ///< -1 when the frame is too small to carry the stripe
};

/// \brief Geometry of the marks that scripts/bench draws into every clip and still.
struct MarkLayout {
  static constexpr int BOX = 64;     ///< side of the colour box at (0, 0)
  static constexpr int BIT = 32;     ///< side of one bit square of the frame number
  static constexpr int BIT_X0 = 64;  ///< left edge of bit 0; bit k is BIT wide further right
  static constexpr int INDEX_BITS = 14;
};

/// \brief Names the colour of a BGR pixel: one channel above 128 and the others below 96.
inline Colour classify_colour(uint8_t b, uint8_t g, uint8_t r) {
  const bool hb = b > 128, hg = g > 128, hr = r > 128;
  const bool lb = b < 96, lg = g < 96, lr = r < 96;
  if (hr && lg && lb) return Colour::red;
  if (hg && lr && lb) return Colour::green;
  if (hb && lr && lg) return Colour::blue;
  return Colour::unknown;
}

/// \brief Reads the marks of a "bgr8" frame: the colour at the middle of the lower half of the
/// colour box, and a bit per square (white = 1) sampled at the square's centre.
inline FrameMark read_mark(const uint8_t* data, uint32_t width, uint32_t height, uint32_t step) {
  FrameMark mark;
  const auto pixel = [&](int x, int y) {
    return data + static_cast<std::size_t>(y) * step + x * 3;
  };
  if (width < static_cast<uint32_t>(MarkLayout::BOX) ||
      height < static_cast<uint32_t>(MarkLayout::BOX) || step < width * 3)
    return mark;
  const uint8_t* c = pixel(MarkLayout::BOX / 2, MarkLayout::BOX * 3 / 4);
  mark.colour = classify_colour(c[0], c[1], c[2]);
  const int stripe_end = MarkLayout::BIT_X0 + MarkLayout::INDEX_BITS * MarkLayout::BIT;
  if (width < static_cast<uint32_t>(stripe_end)) return mark;
  int index = 0;
  for (int k = 0; k < MarkLayout::INDEX_BITS; ++k) {
    const uint8_t* p =
        pixel(MarkLayout::BIT_X0 + k * MarkLayout::BIT + MarkLayout::BIT / 2, MarkLayout::BIT / 2);
    if (p[0] + p[1] + p[2] > 3 * 128) index |= 1 << k;
  }
  mark.index = index;
  return mark;
}

/// \brief One received frame: arrival on the bench's clock (s), the sender's stamp (s, 0 when
/// the sender sets none), its width (which tells the items of a bench playlist apart), the
/// marks read from it and the size of its picture data as sent (pixels, or a JPEG's bytes).
struct Arrival {
  double time = 0;
  double stamp = 0;
  uint32_t width = 0;
  FrameMark mark;
  std::size_t bytes = 0;
};

/// \brief Splits a stream into plays of an item: a new play starts at a change of colour or of
/// width (another item), when the frame number goes back (a video starting over), or at the
/// first frame that arrives after one of `starts` (times at which the publisher announced a new
/// item). \return the index of the
/// first frame of every play, in order
inline std::vector<std::size_t> split_plays(const std::vector<Arrival>& frames,
                                            std::vector<double> starts) {
  std::sort(starts.begin(), starts.end());
  std::vector<std::size_t> firsts;
  auto next_start = starts.begin();
  for (std::size_t i = 0; i < frames.size(); ++i) {
    bool fresh = (i == 0);
    if (i > 0) {
      const FrameMark& a = frames[i - 1].mark;
      const FrameMark& b = frames[i].mark;
      fresh = a.colour != b.colour || b.index < a.index || frames[i - 1].width != frames[i].width;
    }
    while (next_start != starts.end() && *next_start < frames[i].time) {
      if (i > 0 && *next_start > frames[i - 1].time) fresh = true;
      ++next_start;
    }
    if (fresh) firsts.push_back(i);
  }
  return firsts;
}

/// \brief Timing of one play of an item against an ideal schedule of one frame per `period`.
///
/// The first frame of a play is left out: a publisher opens the file after its clock starts, so
/// that frame comes off the schedule by design. From the second frame on, frame k is due at
/// t0 + k * period, where t0 is set by the best 1% of the frames (those that came earliest
/// against the schedule); the lateness of a frame is how much later than that it came.
struct PlayTiming {
  std::vector<double> intervals;     ///< between consecutive frames from the second one on (s)
  std::vector<double> lateness;      ///< of every frame from the second one on (s)
  double drift = NO_VALUE;           ///< median lateness of the last tenth minus the first's (s)
  double fitted_period = NO_VALUE;   ///< least-squares slope of arrival time over frame count (s)
  double first_interval = NO_VALUE;  ///< from the first frame to the second (s)
};

/// \brief Times the frames [first, last) of one play; see PlayTiming.
inline PlayTiming time_play(const std::vector<Arrival>& frames, std::size_t first, std::size_t last,
                            double period) {
  PlayTiming t;
  if (last > first + 1) t.first_interval = frames[first + 1].time - frames[first].time;
  if (last < first + 2) return t;
  const std::size_t begin = first + 1;
  const std::size_t n = last - begin;
  std::vector<double> offsets;
  for (std::size_t i = begin; i < last; ++i) {
    offsets.push_back(frames[i].time - static_cast<double>(i - begin) * period);
    if (i > begin) t.intervals.push_back(frames[i].time - frames[i - 1].time);
  }
  const double anchor = percentile(offsets, 1);
  for (double o : offsets) t.lateness.push_back(o - anchor);
  if (n >= 2) {
    // Least squares over (k, time - time of the play's second frame), k = 0..n-1.
    const double k_mean = static_cast<double>(n - 1) / 2;
    double num = 0, den = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const double dk = static_cast<double>(k) - k_mean;
      num += dk * (frames[begin + k].time - frames[begin].time);
      den += dk * dk;
    }
    t.fitted_period = num / den;
  }
  const std::size_t tenth = std::max<std::size_t>(1, n / 10);
  if (n >= 2 * tenth) {
    const std::vector<double> head(t.lateness.begin(), t.lateness.begin() + tenth);
    const std::vector<double> tail(t.lateness.end() - tenth, t.lateness.end());
    t.drift = percentile(tail, 50) - percentile(head, 50);
  }
  return t;
}

/// \brief Frame-number faults of a video play: frames skipped and frames sent again.
struct SequenceFaults {
  std::size_t skipped = 0;
  std::size_t repeated = 0;
};

/// \brief Counts, over the frames [first, last), numbers that jump ahead by more than one
/// (the frames in between count as skipped) and numbers that do not move (repeated).
inline SequenceFaults check_sequence(const std::vector<Arrival>& frames, std::size_t first,
                                     std::size_t last) {
  SequenceFaults f;
  for (std::size_t i = first + 1; i < last; ++i) {
    const int step = frames[i].mark.index - frames[i - 1].mark.index;
    if (step == 0) ++f.repeated;
    if (step > 1) f.skipped += static_cast<std::size_t>(step - 1);
  }
  return f;
}

/// \brief How a stream answered one change of room published at time `at`.
struct ChangeResponse {
  double at = 0;
  double old_last = NO_VALUE;   ///< arrival of the old item's last frame minus `at` (s)
  double new_first = NO_VALUE;  ///< arrival of the new item's first frame minus `at` (s)
};

/// \brief Matches each change time with the stream: the old item is the colour of the last frame
/// that arrived up to the change; the new item's first frame is the first later frame of another
/// colour that arrives before the next change; the old item's last frame is the last frame of
/// the old colour before that. Changes with no earlier frame or no answer keep NO_VALUE fields.
inline std::vector<ChangeResponse> match_changes(const std::vector<Arrival>& frames,
                                                 const std::vector<double>& changes) {
  std::vector<ChangeResponse> out;
  for (std::size_t c = 0; c < changes.size(); ++c) {
    ChangeResponse r;
    r.at = changes[c];
    const double until =
        c + 1 < changes.size() ? changes[c + 1] : std::numeric_limits<double>::infinity();
    const auto after = std::upper_bound(frames.begin(), frames.end(), r.at,
                                        [](double t, const Arrival& a) { return t < a.time; });
    if (after != frames.begin()) {
      const Colour old = std::prev(after)->mark.colour;
      auto fresh = after;
      while (fresh != frames.end() && fresh->time < until && fresh->mark.colour == old) ++fresh;
      if (fresh != frames.end() && fresh->time < until) {
        r.new_first = fresh->time - r.at;
        r.old_last = std::prev(fresh)->time - r.at;
      }
    }
    out.push_back(r);
  }
  return out;
}

/// \brief CPU time in clock ticks (user + system, all threads, live and ended) from the text of
/// /proc/<pid>/stat; -1 when the text does not parse.
inline long long parse_stat_ticks(const std::string& stat) {
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  long long utime = -1, stime = -1;
  // After the command name come the state (field 3) and then fields 4..; utime and stime are 14
  // and 15.
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number == 14) utime = std::stoll(field);
    if (number == 15) stime = std::stoll(field);
  }
  return (utime < 0 || stime < 0) ? -1 : utime + stime;
}

/// \brief Resident memory in kB from the text of /proc/<pid>/status; -1 when it has no VmRSS.
inline long long parse_vmrss_kb(const std::string& status) {
  const std::size_t at = status.find("VmRSS:");
  if (at == std::string::npos) return -1;
  std::istringstream line(status.substr(at + 6));
  long long kb = -1;
  line >> kb;
  return line ? kb : -1;
}

}  // namespace bench
}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_BENCH_BENCH_STATS_H
