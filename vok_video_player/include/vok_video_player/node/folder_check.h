#ifndef VOK_VIDEO_PLAYER_NODE_FOLDER_CHECK_H
#define VOK_VIDEO_PLAYER_NODE_FOLDER_CHECK_H

#include <optional>
#include <string>

namespace vok {

/// \brief The media folder path with a "/" appended unless it already ends in one.
/// \throws std::invalid_argument for an empty text, which has no last character to look at.
std::string normalise_folder(const std::string& video_folder);

/// \brief The error line for an incomplete media folder, or nothing when it is complete.
///
/// The folder must exist, and for every required media name it must hold the stem's ".mp4" or
/// ".jpg" as a regular file (symbolic links followed). Only the first gap is reported.
/// \param video_folder the folder path ending in "/"
std::optional<std::string> media_folder_problem(const std::string& video_folder);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_NODE_FOLDER_CHECK_H
