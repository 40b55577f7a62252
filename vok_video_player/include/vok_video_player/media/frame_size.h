#ifndef VOK_VIDEO_PLAYER_MEDIA_FRAME_SIZE_H
#define VOK_VIDEO_PLAYER_MEDIA_FRAME_SIZE_H

#include <optional>
#include <string>

namespace vok {

/// \brief The long and the short side of the largest frame a camera stream is taken to carry.
constexpr int CAMERA_LONG_SIDE = 1920;
/// \brief See CAMERA_LONG_SIDE.
constexpr int CAMERA_SHORT_SIDE = 1080;

/// \brief The most pixels a frame of the stream may have; an item with larger frames is refused
/// before it is decoded. A "bgr8" frame costs three bytes a pixel wherever it is held, and the
/// player holds up to four at once (the decoded picture, the copy kept for a replay, the one
/// roscpp is sending and the compressed stream's), each subscriber at least one more: at this
/// limit that is 600 MB at the player, within a robot board's 1 GB to spare, and still every
/// photo a phone makes by default (8160x6120, 50 MP, at the most). It also keeps a message's
/// size far below the 4 GiB that ROS's 32-bit length field can state.
constexpr long long MAX_FRAME_PIXELS = 50000000;

/// \brief Why a `width` x `height` frame is refused (more than MAX_FRAME_PIXELS, or a size that
/// is no size), or nothing for a frame the stream takes.
std::optional<std::string> frame_size_problem(long long width, long long height);

/// \brief True when a `width` x `height` frame fits within 1920x1080 neither way round: a
/// portrait 1080x1920 fits, 2560x1080 and a 4032x3024 photo do not.
bool too_big_for_camera(int width, int height);

/// \brief The data rate of "bgr8" frames of that size at `fps`, in Mbit/s (10^6 bits).
double bgr8_mbit_per_second(int width, int height, double fps);

/// \brief The warning for an item whose frames are too big for a camera stream, or nothing.
/// \param item the item's file name as the player logs it, e.g. "empty.jpg"
/// \param fps the rate it is published at
std::optional<std::string> too_big_warning(const std::string& item, int width, int height,
                                           double fps);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_FRAME_SIZE_H
