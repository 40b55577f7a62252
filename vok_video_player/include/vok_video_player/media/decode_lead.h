#ifndef VOK_VIDEO_PLAYER_MEDIA_DECODE_LEAD_H
#define VOK_VIDEO_PLAYER_MEDIA_DECODE_LEAD_H

#include <array>
#include <cstddef>

namespace vok {

/// \brief How long before a video frame is due its decoding starts: the slowest of the last few
/// decodes plus a margin. A frame decoded just in time is ready when it is due, and its decoding
/// does not compete for the machine with the sending of the frame before it.
class DecodeLead {
 public:
  /// \brief Decodes remembered; a slow one sets the lead for this many frames.
  static constexpr std::size_t WINDOW = 32;
  /// \brief Added to the slowest decode, for the wake-up and for a decode slower than any recent.
  static constexpr double MARGIN = 0.002;

  /// \brief Remembers one decode's duration in seconds; negative or non-finite ones count as 0.
  void record(double seconds);

  /// \brief The lead in seconds; MARGIN before any decode was recorded.
  double seconds() const;

 private:
  std::array<double, WINDOW> recent_{};
  std::size_t next_ = 0;
};

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_DECODE_LEAD_H
