#include "vok_video_player/player/dice.h"

#include <filesystem>
#include <system_error>

#include "vok_video_player/common/text_format.h"

namespace vok {

DiceRoll judge_dice(double draw, double probability) {
  return {draw, draw <= probability,
          "VOK video player: Random number is " + number_text(round_two_decimals(draw)) +
              " and probability is " + number_text(probability) + "."};
}

bool is_regular_file(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

MediaKind media_kind(const std::string& video_folder_path, const std::string& stem) {
  if (is_regular_file(video_folder_path + stem + ".jpg")) return MediaKind::still;
  if (is_regular_file(video_folder_path + stem + ".mp4")) return MediaKind::video;
  return MediaKind::missing;
}

}  // namespace vok
