#ifndef VOK_VIDEO_PLAYER_BENCH_BENCH_OUTPUT_H
#define VOK_VIDEO_PLAYER_BENCH_BENCH_OUTPUT_H

// What the bench's measuring programs read of a process from /proc, and the JSON object of
// figures each of them writes.

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "vok_video_player/bench/bench_stats.h"

namespace vok {
namespace bench {

/// \brief The whole text of a file; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

/// \brief The CPU time (user and system, s) that process `pid` has used; NO_VALUE when it is gone.
inline double cpu_seconds(int pid) {
  const long long ticks = parse_stat_ticks(read_file("/proc/" + std::to_string(pid) + "/stat"));
  return ticks < 0 ? NO_VALUE : static_cast<double>(ticks) / sysconf(_SC_CLK_TCK);
}

/// \brief One flat JSON object of figures and labels; a figure that is not finite is null.
class Json {
 public:
  /// \brief Adds `value * scale` with `digits` significant digits.
  void add(const std::string& key, double value, double scale = 1, int digits = 6) {
    std::ostringstream v;
    if (std::isfinite(value)) {
      v.precision(digits);
      v << value * scale;
    } else {
      v << "null";
    }
    fields_.emplace_back(key, v.str());
  }
  /// \brief Adds a label; `value` holds no quote or backslash.
  void add_text(const std::string& key, const std::string& value) {
    fields_.emplace_back(key, "\"" + value + "\"");
  }
  /// \brief The object on one line.
  std::string str() const {
    std::string s = "{";
    for (std::size_t i = 0; i < fields_.size(); ++i)
      s += (i ? ", \"" : "\"") + fields_[i].first + "\": " + fields_[i].second;
    return s + "}\n";
  }

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace bench
}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_BENCH_BENCH_OUTPUT_H
