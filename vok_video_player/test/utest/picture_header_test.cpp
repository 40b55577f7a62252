#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "vok_video_player/media/frame_size.h"
#include "vok_video_player/media/picture_header.h"

namespace vok {
namespace {

std::string segment(uint8_t code, const std::string& body) {
  const std::size_t length = body.size() + 2;
  return std::string{'\xFF', static_cast<char>(code), static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF)} +
         body;
}

std::string start_of_frame(int width, int height, uint8_t code = 0xC0) {
  return segment(
      code, std::string{8, static_cast<char>(height >> 8), static_cast<char>(height),
                        static_cast<char>(width >> 8), static_cast<char>(width), 1, 1, 0x11, 0});
}

const std::string SOI = "\xFF\xD8";
const std::string EOI = "\xFF\xD9";
// An EXIF block holding a thumbnail: a whole JPEG of its own, end marker included.
const std::string EXIF =
    segment(0xE1, std::string("Exif\0\0", 6) + SOI + start_of_frame(160, 120) + EOI);
// Compressed data with what it may hold that is no marker: a stuffed zero, fill bytes, a
// restart marker.
const std::string SCAN = segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) +
                         std::string("\x12\xFF\x00\x34\xFF\xFF\x00\x56\xFF\xD0\x78", 11);

// bytes, format, width, height, complete
using Case = std::tuple<std::string, PictureFormat, long long, long long, bool>;
class PictureHeaders : public ::testing::TestWithParam<Case> {};

TEST_P(PictureHeaders, GiveTheStoredSizeAndWhetherTheDataIsWhole) {
  const auto& [bytes, format, width, height, complete] = GetParam();
  const PictureHeader header = read_picture_header(bytes);
  EXPECT_EQ(header.format, format);
  EXPECT_EQ(header.width, width);
  EXPECT_EQ(header.height, height);
  EXPECT_EQ(header.complete, complete);
}

const std::string WHOLE = SOI + EXIF + start_of_frame(30000, 20000) + SCAN + EOI;
INSTANTIATE_TEST_SUITE_P(
    Kinds, PictureHeaders,
    ::testing::Values(
        // A thumbnail's size and end marker are not the picture's.
        Case{WHOLE, PictureFormat::jpeg, 30000, 20000, true},
        Case{WHOLE + "trailing bytes", PictureFormat::jpeg, 30000, 20000, true},
        Case{WHOLE.substr(0, WHOLE.size() - 2), PictureFormat::jpeg, 30000, 20000, false},
        Case{WHOLE.substr(0, WHOLE.size() - 5), PictureFormat::jpeg, 30000, 20000, false},
        // Progressive: a second scan after more tables.
        Case{SOI + start_of_frame(65500, 65500, 0xC2) + SCAN + segment(0xC4, "\x10") + SCAN + EOI,
             PictureFormat::jpeg, 65500, 65500, true},
        // Ends inside the frame header, or its length is a lie.
        Case{SOI + start_of_frame(640, 480).substr(0, 6), PictureFormat::jpeg, 0, 0, false},
        Case{SOI + std::string("\xFF\xC0\x00\x01", 4), PictureFormat::jpeg, 0, 0, false},
        Case{std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x75\x30\0\0\x4E\x20", 24),
             PictureFormat::png, 30000, 20000, true},
        Case{std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0", 18), PictureFormat::png, 0, 0,
             true},
        Case{"GIF89a", PictureFormat::other, 0, 0, false},
        Case{"", PictureFormat::other, 0, 0, false}));

// width, height, refused
class FrameSizeLimit : public ::testing::TestWithParam<std::tuple<long long, long long, bool>> {};

TEST_P(FrameSizeLimit, RefusesFramesBeyondTheLimitAndNoSizeButNotAPhonesPhoto) {
  const auto [width, height, refused] = GetParam();
  EXPECT_EQ(frame_size_problem(width, height).has_value(), refused);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, FrameSizeLimit,
    ::testing::Values(std::make_tuple(8160, 6120, false), std::make_tuple(6120, 8160, false),
                      std::make_tuple(1, 1, false), std::make_tuple(10000, 5001, true),
                      std::make_tuple(65500, 65500, true), std::make_tuple(0, 480, true),
                      std::make_tuple(1LL << 40, 1LL << 40, true)));

TEST(FrameSizeLimit, NamesTheSizeAndTheLimit) {
  EXPECT_EQ(*frame_size_problem(30000, 30000),
            "it is 30000x30000 (900.0 megapixels), more than the 50 megapixels a frame may have");
}

}  // namespace
}  // namespace vok
