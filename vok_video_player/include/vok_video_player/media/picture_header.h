#ifndef VOK_VIDEO_PLAYER_MEDIA_PICTURE_HEADER_H
#define VOK_VIDEO_PLAYER_MEDIA_PICTURE_HEADER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vok {

/// \brief The kinds of picture whose size is read before decoding.
enum class PictureFormat { jpeg, png, other };

/// \brief What a picture file says of itself before any pixel is decoded.
struct PictureHeader {
  PictureFormat format = PictureFormat::other;
  /// \brief The stored size; 0 where the file ends before saying it, or says 0.
  long long width = 0;
  /// \brief See width.
  long long height = 0;
  /// \brief A JPEG: its data reaches the end-of-image marker (bytes after it do not matter).
  /// A PNG: true, its end is not looked for.
  bool complete = false;
};

/// \brief Hands out up to `size` bytes of a file into `into` and returns how many; 0 at its end
/// or on a read error.
using ReadBytes = std::function<std::size_t(uint8_t* into, std::size_t size)>;

/// \brief Reads a picture's header as it streams in: a PNG's first chunk, or a JPEG's markers
/// up to its end-of-image marker, the compressed data skipped without decoding it.
PictureHeader read_picture_header(const ReadBytes& read);

/// \brief read_picture_header over bytes in memory.
PictureHeader read_picture_header(std::string_view bytes);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_MEDIA_PICTURE_HEADER_H
