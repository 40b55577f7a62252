#include "vok_video_player/node/folder_check.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "vok_video_player/player/dice.h"
#include "vok_video_player/site/site_tables.h"

namespace vok {

std::string normalise_folder(const std::string& video_folder) {
  if (video_folder.empty()) {
    throw std::invalid_argument(
        "--video_folder is empty: the folder text has no last character to check for \"/\"");
  }
  return video_folder.back() == '/' ? video_folder : video_folder + "/";
}

std::optional<std::string> media_folder_problem(const std::string& video_folder) {
  std::error_code ec;
  if (!std::filesystem::exists(video_folder, ec)) {
    return "Video folder " + video_folder + " does not exist";
  }
  for (const auto& name : required_media_names()) {
    const std::string object = video_folder + file_stem(name);
    if (is_regular_file(object + ".mp4") || is_regular_file(object + ".jpg")) continue;
    return "Element " + object + "{.mp4/.jpg} does not exist! Please add it to the video folder.";
  }
  return std::nullopt;
}

}  // namespace vok
