#ifndef VOK_VIDEO_PLAYER_PLAYER_DICE_H
#define VOK_VIDEO_PLAYER_PLAYER_DICE_H

#include <string>

namespace vok {

/// \brief The outcome of one dice roll: the draw, the verdict and the line that reports it.
struct DiceRoll {
  double draw;
  bool success;
  std::string log_line;
};

/// \brief Judges a draw in [0, 1) against `probability`: yes when draw <= probability, with the
/// unrounded draw; the log line shows the draw rounded to two decimals.
DiceRoll judge_dice(double draw, double probability);

/// \brief What the media folder holds for one file stem.
enum class MediaKind { still, video, missing };

/// \brief A ".jpg" regular file makes a still, else an ".mp4" regular file makes a video.
/// Symbolic links are followed; directories and broken links count as absent.
MediaKind media_kind(const std::string& video_folder_path, const std::string& stem);

/// \brief True when `path` names a regular file once symbolic links are followed.
bool is_regular_file(const std::string& path);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_PLAYER_DICE_H
