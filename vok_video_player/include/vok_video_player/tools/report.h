#ifndef VOK_VIDEO_PLAYER_TOOLS_REPORT_H
#define VOK_VIDEO_PLAYER_TOOLS_REPORT_H

#include <cstddef>
#include <string>
#include <vector>

namespace vok {

/// \brief One pose of the robot as the recorder received it; times are seconds since the
/// recording began.
struct PoseSample {
  double t = 0;
  double x = 0;
  double y = 0;
};

/// \brief One info line of the player, stamped with the time the player logged it.
struct PlayerLine {
  double t = 0;
  std::string text;
};

/// \brief Everything the recorder collected, in the order it arrived.
struct Recording {
  std::vector<PoseSample> poses;
  /// \brief When each frame on the camera topic was received.
  std::vector<double> frame_times;
  std::vector<PlayerLine> player_lines;
  /// \brief Standard output of the player (playlists), when it was captured.
  std::vector<std::string> player_output;
  /// \brief Seconds from the start to the end of the recording.
  double length = 0;
};

/// \brief A stretch of the tour spent in one room, or in none (`room` empty).
struct Stay {
  std::string room;
  double enter = 0;
  double leave = 0;
  /// \brief Where the robot was when the stay began.
  double x = 0;
  double y = 0;
};

/// \brief One media item as the player played it, with the frames that came with it.
struct ItemPlay {
  /// \brief The file as the player named it: "pizza.jpg" or "dog.mp4".
  std::string file;
  double start = 0;
  std::size_t frames = 0;
  double first_frame = 0;
  double last_frame = 0;
  /// \brief The room the robot was in when the item started ("" for none).
  std::string room;

  /// \brief Frames per second between the first and the last frame; 0 below two frames.
  double rate() const;
  /// \brief The media name: the file without its extension.
  std::string name() const;
};

/// \brief What the recording shows: where the robot was and what the camera played.
struct Analysis {
  /// \brief Every stay in order, rooms and gaps alike.
  std::vector<Stay> stays;
  std::vector<ItemPlay> plays;
  /// \brief Frames that arrived before the first item the recorder heard of.
  std::size_t unattributed_frames = 0;
  /// \brief The player's "Robot in room" lines.
  std::vector<PlayerLine> room_lines;
  /// \brief The playlist lines of the player's standard output.
  std::vector<std::string> playlist_lines;

  /// \brief The stays in a room, without the gaps.
  std::vector<Stay> visits() const;
};

/// \brief Frame count and rate of every play of one item, added up.
struct ItemTotal {
  std::string file;
  std::size_t plays = 0;
  std::size_t frames = 0;
  /// \brief Frames per second over the plays that had at least two frames.
  double rate = 0;
};

/// \brief The media file in a player line "VOK video player: Playing NAME.jpg" or "... Playing
/// video NAME.mp4", or an empty text for any other line.
std::string played_file(const std::string& line);

/// \brief Splits the poses into stays, frames into plays, and picks out the player's lines.
Analysis analyse(const Recording& recording);

/// \brief One total per media file, in the order of its first play.
std::vector<ItemTotal> item_totals(const std::vector<ItemPlay>& plays);

/// \brief The play that was on the camera at time `t`, or nullptr before the first one.
const ItemPlay* play_at(const std::vector<ItemPlay>& plays, double t);

/// \brief Which of the frames at `times` (sorted) to show for the stretch [from, to): the first
/// frame of every play that started in it, then frames spread evenly over it, at most
/// `max_tiles` in all, in time order.
std::vector<std::size_t> pick_tiles(const std::vector<double>& times,
                                    const std::vector<ItemPlay>& plays, double from, double to,
                                    std::size_t max_tiles);

/// \brief The report's text summary: rooms entered, playlists printed, items played, frames
/// received and the publish rate of each item.
std::string summary_text(const Recording& recording, const Analysis& analysis);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_TOOLS_REPORT_H
