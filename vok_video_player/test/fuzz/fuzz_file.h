#ifndef VOK_VIDEO_PLAYER_TEST_FUZZ_FUZZ_FILE_H
#define VOK_VIDEO_PLAYER_TEST_FUZZ_FUZZ_FILE_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace vok_fuzz {

/// \brief One input as a file the player's code opens by name: a memory file, rewritten for each
/// input, named by its /proc/self/fd path.
class FuzzFile {
 public:
  FuzzFile() : fd_(::memfd_create("vok_fuzz", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
  }
  ~FuzzFile() { ::close(fd_); }

  /// \brief The file holding exactly `data`, by path.
  std::string hold(const uint8_t* data, std::size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd_);
  }

 private:
  int fd_;
};

}  // namespace vok_fuzz

#endif  // VOK_VIDEO_PLAYER_TEST_FUZZ_FUZZ_FILE_H
