#include "vok_video_player/tools/report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>

#include "vok_video_player/site/room_geometry.h"
#include "vok_video_player/tools/route.h"

namespace vok {

namespace {

const std::string PLAYING_VIDEO = "VOK video player: Playing video ";
const std::string PLAYING = "VOK video player: Playing ";
const std::string ROBOT_IN_ROOM = "VOK video player: Robot in room ";

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char buffer[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(buffer, sizeof buffer, pattern, args);
  va_end(args);
  return buffer;
}

std::string room_at(const std::vector<Stay>& stays, double t) {
  for (const Stay& stay : stays) {
    if (stay.enter <= t && t < stay.leave) return stay.room;
  }
  return stays.empty() || t < stays.front().enter ? "" : stays.back().room;
}

}  // namespace

double ItemPlay::rate() const {
  return frames >= 2 && last_frame > first_frame ? (frames - 1) / (last_frame - first_frame) : 0;
}

std::string ItemPlay::name() const { return file.substr(0, file.rfind('.')); }

std::vector<Stay> Analysis::visits() const {
  std::vector<Stay> rooms;
  std::copy_if(stays.begin(), stays.end(), std::back_inserter(rooms),
               [](const Stay& s) { return !s.room.empty(); });
  return rooms;
}

std::string played_file(const std::string& line) {
  if (starts_with(line, PLAYING_VIDEO)) return line.substr(PLAYING_VIDEO.size());
  if (starts_with(line, PLAYING)) return line.substr(PLAYING.size());
  return {};
}

Analysis analyse(const Recording& recording) {
  Analysis analysis;
  for (const PoseSample& pose : recording.poses) {
    const std::string room = find_room(pose.x, pose.y);
    if (!analysis.stays.empty() && analysis.stays.back().room == room) continue;
    if (!analysis.stays.empty()) analysis.stays.back().leave = pose.t;
    analysis.stays.push_back({room, pose.t, pose.t, pose.x, pose.y});
  }
  if (!analysis.stays.empty()) {
    Stay& last = analysis.stays.back();
    last.leave = std::max({last.enter, recording.length, recording.poses.back().t});
  }

  for (const PlayerLine& line : recording.player_lines) {
    const std::string file = played_file(line.text);
    if (!file.empty()) {
      ItemPlay play;
      play.file = file;
      play.start = line.t;
      analysis.plays.push_back(play);
    } else if (starts_with(line.text, ROBOT_IN_ROOM)) {
      analysis.room_lines.push_back(line);
    }
  }
  std::stable_sort(analysis.plays.begin(), analysis.plays.end(),
                   [](const ItemPlay& a, const ItemPlay& b) { return a.start < b.start; });
  for (ItemPlay& play : analysis.plays) play.room = room_at(analysis.stays, play.start);

  for (double t : recording.frame_times) {
    auto after = std::upper_bound(analysis.plays.begin(), analysis.plays.end(), t,
                                  [](double time, const ItemPlay& p) { return time < p.start; });
    if (after == analysis.plays.begin()) {
      ++analysis.unattributed_frames;
      continue;
    }
    ItemPlay& play = *std::prev(after);
    if (play.frames == 0) play.first_frame = t;
    play.first_frame = std::min(play.first_frame, t);
    play.last_frame = std::max(play.last_frame, t);
    ++play.frames;
  }

  for (std::string line : recording.player_output) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (starts_with(line, "Playlist for ") || starts_with(line, "Test in room ")) {
      analysis.playlist_lines.push_back(line);
    }
  }
  return analysis;
}

std::vector<ItemTotal> item_totals(const std::vector<ItemPlay>& plays) {
  std::vector<ItemTotal> totals;
  std::map<std::string, std::size_t> index;
  std::vector<double> spans;
  std::vector<std::size_t> intervals;
  for (const ItemPlay& play : plays) {
    auto found = index.find(play.file);
    if (found == index.end()) {
      found = index.emplace(play.file, totals.size()).first;
      totals.push_back({play.file, 0, 0, 0});
      spans.push_back(0);
      intervals.push_back(0);
    }
    ItemTotal& total = totals[found->second];
    ++total.plays;
    total.frames += play.frames;
    if (play.rate() > 0) {
      spans[found->second] += play.last_frame - play.first_frame;
      intervals[found->second] += play.frames - 1;
    }
  }
  for (std::size_t i = 0; i < totals.size(); ++i) {
    totals[i].rate = spans[i] > 0 ? intervals[i] / spans[i] : 0;
  }
  return totals;
}

const ItemPlay* play_at(const std::vector<ItemPlay>& plays, double t) {
  const ItemPlay* current = nullptr;
  for (const ItemPlay& play : plays) {
    if (play.start > t) break;
    current = &play;
  }
  return current;
}

std::vector<std::size_t> pick_tiles(const std::vector<double>& times,
                                    const std::vector<ItemPlay>& plays, double from, double to,
                                    std::size_t max_tiles) {
  const auto begin = std::lower_bound(times.begin(), times.end(), from);
  const auto end = std::lower_bound(times.begin(), times.end(), to);
  const std::size_t first = begin - times.begin();
  const std::size_t count = end - begin;
  std::vector<std::size_t> picked;
  auto pick = [&picked, max_tiles](std::size_t i) {
    if (picked.size() < max_tiles && std::find(picked.begin(), picked.end(), i) == picked.end()) {
      picked.push_back(i);
    }
  };
  // Frame k shows play p when p is the last play that started at or before it.
  for (std::size_t p = 0; p < plays.size(); ++p) {
    const double start = std::max(plays[p].start, from);
    const double stop = p + 1 < plays.size() ? std::min(plays[p + 1].start, to) : to;
    if (start >= stop) continue;
    const auto shown = std::lower_bound(times.begin(), times.end(), start);
    if (shown != times.end() && *shown < stop) pick(shown - times.begin());
  }
  // The other tiles go to frames spread evenly over the whole stretch.
  const std::size_t spare = max_tiles - std::min(max_tiles, picked.size());
  for (std::size_t k = 0; k < spare && count > 0; ++k) {
    pick(first + static_cast<std::size_t>((k + 0.5) * count / spare));
  }
  std::sort(picked.begin(), picked.end());
  return picked;
}

std::string summary_text(const Recording& recording, const Analysis& analysis) {
  std::string out = "VOK video player: what the camera showed\n\n";
  const std::size_t frames = recording.frame_times.size();
  out += format("Recorded %.1f s: %zu poses on /amcl_pose, %zu frames on /camera/image",
                recording.length, recording.poses.size(), frames);
  out += recording.length > 0 ? format(" (%.1f per second).\n", frames / recording.length) : ".\n";

  const std::vector<Stay> visits = analysis.visits();
  out += format("\nRooms entered: %zu by the tour, %zu logged by the player\n", visits.size(),
                analysis.room_lines.size());
  for (std::size_t i = 0; i < visits.size(); ++i) {
    const Stay& v = visits[i];
    out += format("  %2zu  t=%6.1f s  %s %-13s entered at (%.2f, %.2f), stayed %.1f s\n", i + 1,
                  v.enter, v.room.c_str(), room_display_name(v.room).c_str(), v.x, v.y,
                  v.leave - v.enter);
  }
  const std::size_t gaps = analysis.stays.size() - visits.size();
  out += format("Stretches in no room (gaps between rooms, or off the floor): %zu\n", gaps);
  for (const PlayerLine& line : analysis.room_lines) {
    out += format("  player, t=%6.1f s: %s\n", line.t, line.text.c_str());
  }

  if (recording.player_output.empty()) {
    out += "\nPlaylists printed: the player's standard output was not captured\n";
  } else {
    out += format("\nPlaylists printed: %zu\n", analysis.playlist_lines.size());
    for (const std::string& line : analysis.playlist_lines) out += "  " + line + "\n";
  }

  out += format("\nItems played: %zu\n", analysis.plays.size());
  out += "       t  room  item              frames  seconds  frames/s\n";
  for (const ItemPlay& play : analysis.plays) {
    out += format("  %6.1f  %-4s  %-16s  %6zu  %7.2f  %8.1f\n", play.start,
                  play.room.empty() ? "-" : play.room.c_str(), play.file.c_str(), play.frames,
                  play.frames ? play.last_frame - play.first_frame : 0.0, play.rate());
  }

  out += format("\nFrames received: %zu (%zu during the items above, %zu before the first)\n",
                frames, frames - analysis.unattributed_frames, analysis.unattributed_frames);

  out += "\nPublish rate per item\n";
  out += "  item              plays  frames  frames/s\n";
  for (const ItemTotal& total : item_totals(analysis.plays)) {
    out += format("  %-16s  %5zu  %6zu  %8.1f\n", total.file.c_str(), total.plays, total.frames,
                  total.rate);
  }
  return out;
}

}  // namespace vok
