#include "vok_video_player/media/media_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

#include <opencv2/imgcodecs.hpp>

#include "vok_video_player/media/frame_size.h"
#include "vok_video_player/media/picture_header.h"

namespace vok {

namespace {

const char* const UNDECODABLE = "the file is missing or cannot be decoded as an image";

/// A file descriptor, closed when it goes.
struct OpenFile {
  int fd;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

/// A property of the clip as a whole number, 0 where the container gives none or nonsense.
long long whole_property(cv::VideoCapture& capture, int property) {
  const double value = capture.get(property);
  return std::isfinite(value) && value > 0 && value < 1e9 ? std::llround(value) : 0;
}

}  // namespace

std::optional<std::string> guarded(const std::function<void()>& work) {
  try {
    work();
    return std::nullopt;
  } catch (const cv::Exception& e) {
    return "OpenCV failed on it: " + (e.err.empty() ? std::string(e.what()) : e.err);
  } catch (const std::bad_alloc&) {
    return "its decoding ran out of memory";
  } catch (const std::exception& e) {
    return std::string("its decoding failed: ") + e.what();
  } catch (...) {
    return "its decoding failed";
  }
}

std::optional<FileStamp> file_stamp(const std::string& path) {
  struct stat st = {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

StillPicture load_still_picture(const std::string& path) {
  StillPicture still;
  // Without O_NONBLOCK a named pipe in the item's place would hold the player until somebody
  // writes to it.
  const OpenFile file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  struct stat st = {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
    still.problem = UNDECODABLE;
    return still;
  }
  if (!S_ISREG(st.st_mode)) {
    still.problem = "it is not a regular file";
    return still;
  }
  const PictureHeader header = read_picture_header([&](uint8_t* into, std::size_t size) {
    for (;;) {
      const ssize_t n = ::read(file.fd, into, size);
      if (n < 0 && errno == EINTR) continue;
      return n > 0 ? static_cast<std::size_t>(n) : std::size_t{0};
    }
  });
  if (header.format == PictureFormat::other) {
    still.problem = "it is not a JPEG or PNG picture";
    return still;
  }
  if (header.width <= 0 || header.height <= 0) {
    still.problem = UNDECODABLE;
    return still;
  }
  if (const auto too_big = frame_size_problem(header.width, header.height)) {
    still.problem = *too_big;
    return still;
  }
  // The file whose header was read is the one decoded, even when another takes its name
  // meanwhile.
  std::string source = "/proc/self/fd/" + std::to_string(file.fd);
  if (::access(source.c_str(), R_OK) != 0) source = path;
  if (const auto failed = guarded([&] { still.image = cv::imread(source, cv::IMREAD_COLOR); })) {
    still.image.release();
    still.problem = *failed;
    return still;
  }
  if (still.image.empty() || still.image.type() != CV_8UC3) {
    still.image.release();
    still.problem = UNDECODABLE;
    return still;
  }
  still.cut_short = header.format == PictureFormat::jpeg && !header.complete;
  return still;
}

VideoSource::VideoSource(const std::string& path) {
  const auto failed = guarded([&] {
    if (!capture_.open(path, cv::CAP_FFMPEG) || !capture_.isOpened()) {
      problem_ = "the file cannot be opened as a video";
      return;
    }
    rotation_ = clip_rotation(capture_);
    file_fps_ = capture_.get(cv::CAP_PROP_FPS);
    frame_count_ = static_cast<double>(whole_property(capture_, cv::CAP_PROP_FRAME_COUNT));
    const long long width = whole_property(capture_, cv::CAP_PROP_FRAME_WIDTH);
    const long long height = whole_property(capture_, cv::CAP_PROP_FRAME_HEIGHT);
    // A size the stream does not give is checked on the first frame instead.
    if (width > 0 && height > 0) {
      if (const auto too_big = frame_size_problem(width, height)) {
        problem_ = *too_big;
        return;
      }
      rows_ = static_cast<int>(height);
      cols_ = static_cast<int>(width);
    }
    if (rotation_.turn && *rotation_.turn != cv::ROTATE_180) std::swap(rows_, cols_);
  });
  if (failed) problem_ = *failed;
  if (!problem_.empty()) {
    guarded([&] { capture_.release(); });
  }
}

VideoSource::~VideoSource() {
  guarded([&] { capture_.release(); });
}

VideoSource::Read VideoSource::read(cv::Mat& frame) {
  if (!problem_.empty()) return Read::failed;
  const uchar* pixels = frame.data;
  bool got = false;
  const auto failed = guarded([&] {
    if (rotation_.turn) {
      got = capture_.read(stored_);
      if (got && !stored_.empty()) cv::rotate(stored_, frame, *rotation_.turn);
    } else {
      got = capture_.read(frame);
    }
  });
  if (!failed && got && !frame.empty() && frame.data != pixels) {
    // The decoder gave another shape than announced: the frame is held to the same limit.
    if (const auto too_big = frame_size_problem(frame.cols, frame.rows)) problem_ = *too_big;
    if (frame.type() != CV_8UC3) problem_ = "its frames are not 8-bit colour pictures";
  }
  if (failed) problem_ = *failed;
  if (!problem_.empty()) {
    frame.release();
    guarded([&] { capture_.release(); });
    return Read::failed;
  }
  return got && !frame.empty() ? Read::frame : Read::end;
}

}  // namespace vok
