#include "vok_video_player/media/picture_header.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vok {

namespace {

/// Buffered reading of a byte stream, with the two ways of moving through it a JPEG needs.
class Reader {
 public:
  explicit Reader(const ReadBytes& read) : read_(read), buffer_(1 << 16) {}

  bool byte(uint8_t& b) {
    if (pos_ == end_ && !refill()) return false;
    b = buffer_[pos_++];
    return true;
  }

  bool u16(long long& value) {
    uint8_t high = 0, low = 0;
    if (!byte(high) || !byte(low)) return false;
    value = high << 8 | low;
    return true;
  }

  bool u32(long long& value) {
    long long high = 0, low = 0;
    if (!u16(high) || !u16(low)) return false;
    value = high << 16 | low;
    return true;
  }

  bool skip(long long n) {
    while (n > 0) {
      if (pos_ == end_ && !refill()) return false;
      const auto step = static_cast<std::size_t>(std::min<long long>(n, end_ - pos_));
      pos_ += step;
      n -= static_cast<long long>(step);
    }
    return true;
  }

  /// Moves to just past the next 0xFF byte.
  bool past_next_ff() {
    for (;;) {
      if (pos_ == end_ && !refill()) return false;
      const void* at = std::memchr(buffer_.data() + pos_, 0xFF, end_ - pos_);
      if (at) {
        pos_ = static_cast<std::size_t>(static_cast<const uint8_t*>(at) - buffer_.data()) + 1;
        return true;
      }
      pos_ = end_;
    }
  }

 private:
  bool refill() {
    pos_ = 0;
    end_ = std::min(read_(buffer_.data(), buffer_.size()), buffer_.size());
    return end_ > 0;
  }

  const ReadBytes& read_;
  std::vector<uint8_t> buffer_;
  std::size_t pos_ = 0, end_ = 0;
};

bool is_start_of_frame(uint8_t code) {
  // SOF0 to SOF15, less DHT (C4), JPG (C8) and DAC (CC), which share the range.
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

/// The next marker's code, found as libjpeg finds it: bytes other than 0xFF are passed over, so
/// are fill bytes (0xFF 0xFF), stuffed zeros (0xFF 0x00) and, within compressed data, the
/// restart markers the decoder itself deals with.
bool next_marker(Reader& in, bool in_scan, uint8_t& code) {
  for (;;) {
    if (!in.past_next_ff()) return false;
    do {
      if (!in.byte(code)) return false;
    } while (code == 0xFF);
    if (code == 0x00) continue;
    if (in_scan && code >= 0xD0 && code <= 0xD7) continue;
    return true;
  }
}

PictureHeader read_jpeg(Reader& in) {
  PictureHeader header;
  header.format = PictureFormat::jpeg;
  bool in_scan = false;
  for (;;) {
    uint8_t code = 0;
    if (!next_marker(in, in_scan, code)) return header;
    if (code == 0xD9) {
      header.complete = true;
      return header;
    }
    // Markers without a length: a second start of image, TEM, restart markers between scans.
    if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;
    long long length = 0;
    if (!in.u16(length) || length < 2) return header;
    long long rest = length - 2;
    if (is_start_of_frame(code) && header.width == 0 && header.height == 0) {
      uint8_t precision = 0;
      long long height = 0, width = 0;
      if (rest < 5 || !in.byte(precision) || !in.u16(height) || !in.u16(width)) return header;
      header.width = width;
      header.height = height;
      rest -= 5;
    }
    if (!in.skip(rest)) return header;
    in_scan = code == 0xDA;
  }
}

PictureHeader read_png(Reader& in) {
  // The first chunk is IHDR: its length (13), its type, then the width and the height.
  PictureHeader header;
  header.format = PictureFormat::png;
  header.complete = true;
  long long length = 0, type = 0, width = 0, height = 0;
  if (!in.u32(length) || !in.u32(type) || type != 0x49484452 || !in.u32(width) || !in.u32(height))
    return header;
  header.width = width;
  header.height = height;
  return header;
}

}  // namespace

PictureHeader read_picture_header(const ReadBytes& read) {
  Reader in(read);
  uint8_t first = 0, second = 0;
  if (!in.byte(first) || !in.byte(second)) return {};
  if (first == 0xFF && second == 0xD8) return read_jpeg(in);
  static const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (first != PNG_SIGNATURE[0] || second != PNG_SIGNATURE[1]) return {};
  for (int i = 2; i < 8; ++i) {
    uint8_t b = 0;
    if (!in.byte(b) || b != PNG_SIGNATURE[i]) return {};
  }
  return read_png(in);
}

PictureHeader read_picture_header(std::string_view bytes) {
  std::size_t at = 0;
  return read_picture_header([&](uint8_t* into, std::size_t size) {
    const std::size_t n = std::min(size, bytes.size() - at);
    std::memcpy(into, bytes.data() + at, n);
    at += n;
    return n;
  });
}

}  // namespace vok
