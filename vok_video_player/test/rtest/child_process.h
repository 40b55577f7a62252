#ifndef VOK_VIDEO_PLAYER_TEST_RTEST_CHILD_PROCESS_H
#define VOK_VIDEO_PLAYER_TEST_RTEST_CHILD_PROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace vok_test {

/// \brief Polls `done` every few milliseconds until it holds or `limit` has passed.
/// \return whether it held
inline bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

#ifdef VOK_NODE_BINARY
/// \brief The node binary to test: $VOK_NODE_UNDER_TEST when set (a sanitizer build of the node,
/// say), else the one built beside this test.
inline std::string node_binary() {
  const char* path = std::getenv("VOK_NODE_UNDER_TEST");
  return path && *path ? path : VOK_NODE_BINARY;
}
#endif

/// \brief Removes terminal colour codes that rosconsole puts around its lines.
inline std::string strip_colour(const std::string& line) {
  static const std::regex colour("\x1b\\[[0-9;]*m");
  return std::regex_replace(line, colour, "");
}

/// \brief The message part of a rosconsole line ("[ INFO] [time]: message"), or the line itself.
inline std::string log_message(const std::string& line) {
  static const std::regex prefix(R"(^\[ *(INFO|WARN|ERROR|DEBUG|FATAL)\] \[[0-9., ]+\]: )");
  return std::regex_replace(strip_colour(line), prefix, "");
}

/// \brief A program run as a child process, its standard output and error read line by line.
/// `program` is a path, or a name looked for on PATH.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& extra_env = {}) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      for (const auto& entry : extra_env) putenv(strdup(entry.c_str()));
      std::vector<char*> argv{strdup(program.c_str())};
      for (const auto& arg : args) argv.push_back(strdup(arg.c_str()));
      argv.push_back(nullptr);
      // A bare name is looked for on PATH: ROS's programs live in /usr/bin with Debian's ROS
      // and in /opt/ros/DISTRO/bin with ROS's own packages.
      execvp(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    readers_.emplace_back([this, fd = out[0]] { read_lines(fd, out_lines_); });
    readers_.emplace_back([this, fd = err[0]] { read_lines(fd, err_lines_); });
  }

  ~ChildProcess() {
    if (!exit_status_) {
      kill(-pid_, SIGKILL);
      wait_exit(std::chrono::seconds(5));
    }
    for (auto& reader : readers_) reader.join();
  }

  /// \brief Sends `signal` to the child's process group.
  void signal(int signal) { kill(-pid_, signal); }

  /// \brief The exit status (128 + signal for a signal), or nothing if it did not end in time.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout) {
    if (exit_status_) return exit_status_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(2), [this] { return closed_ == 2; });
        return exit_status_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
  }

  /// \brief Waits until a line of standard output (or error) whose rosconsole message matches
  /// `pattern` has appeared; returns its index or nothing on time-out.
  std::optional<std::size_t> wait_for_line(const std::string& pattern,
                                           std::chrono::milliseconds timeout,
                                           bool on_stderr = false, std::size_t from = 0) {
    const std::regex re(pattern);
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<std::size_t> found;
    changed_.wait_for(lock, timeout, [&] {
      const auto& lines = on_stderr ? err_lines_ : out_lines_;
      for (std::size_t i = from; i < lines.size(); ++i) {
        if (std::regex_search(log_message(lines[i]), re)) {
          found = i;
          return true;
        }
      }
      return closed_ == 2;
    });
    return found;
  }

  /// \brief Standard output so far, each line reduced to its rosconsole message.
  std::vector<std::string> out() const { return messages(out_lines_); }
  /// \brief Standard error so far, each line reduced to its rosconsole message.
  std::vector<std::string> err() const { return messages(err_lines_); }

  pid_t pid() const { return pid_; }

 private:
  std::vector<std::string> messages(const std::vector<std::string>& lines) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> result;
    for (const auto& line : lines) result.push_back(log_message(line));
    return result;
  }

  void read_lines(int fd, std::vector<std::string>& lines) {
    std::string partial;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
      partial.append(buffer, static_cast<std::size_t>(n));
      std::size_t newline;
      std::lock_guard<std::mutex> lock(mutex_);
      while ((newline = partial.find('\n')) != std::string::npos) {
        lines.push_back(partial.substr(0, newline));
        partial.erase(0, newline + 1);
      }
      changed_.notify_all();
    }
    close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!partial.empty()) lines.push_back(partial);
    ++closed_;
    changed_.notify_all();
  }

  pid_t pid_ = -1;
  std::optional<int> exit_status_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> out_lines_, err_lines_;
  int closed_ = 0;
  std::vector<std::thread> readers_;
};

/// \brief Runs a program to its end, within a minute; true when it exits with status 0. Its
/// standard error is printed otherwise.
inline bool run_to_end(const std::string& program, const std::vector<std::string>& args) {
  ChildProcess child(program, args);
  const bool done = child.wait_exit(std::chrono::seconds(60)) == std::optional<int>(0);
  if (!done) {
    for (const auto& line : child.err()) std::cerr << program << ": " << line << "\n";
  }
  return done;
}

/// \brief The standard output of a program run to its end within a minute, or nothing when it
/// fails; nothing is printed.
inline std::optional<std::vector<std::string>> output_of(const std::string& program,
                                                         const std::vector<std::string>& args) {
  ChildProcess child(program, args);
  if (child.wait_exit(std::chrono::seconds(60)) != std::optional<int>(0)) return std::nullopt;
  return child.out();
}

/// \brief The rotation of a clip's display matrix as ffprobe reads it, in degrees anticlockwise
/// from 0 to 359; nothing when it has none.
inline std::optional<int> display_rotation(const std::string& path) {
  const auto lines = output_of("/usr/bin/ffprobe",
                               {"-v", "error", "-select_streams", "v:0", "-show_streams", path});
  if (!lines) return std::nullopt;
  for (const auto& line : *lines) {
    if (line.rfind("rotation=", 0) == 0) return (std::stoi(line.substr(9)) % 360 + 360) % 360;
  }
  return std::nullopt;
}

/// \brief Copies the clip `plain` to `path` with a display matrix that turns it `degrees`
/// anticlockwise for display. ffmpeg 6 and later set it with -display_rotation and no longer turn
/// "-metadata rotate" into a matrix; ffmpeg 4 and 5 have only the second. True only when ffprobe
/// reads the rotation back, or a test would test none.
inline bool remux_rotated(const std::string& plain, const std::string& path, int degrees) {
  const std::string angle = std::to_string(degrees);
  const bool made =
      output_of("/usr/bin/ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-display_rotation",
                                    angle, "-i", plain, "-c", "copy", path}) ||
      run_to_end("/usr/bin/ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-i", plain, "-c",
                                     "copy", "-metadata:s:v:0", "rotate=" + angle, path});
  const std::optional<int> read_back = display_rotation(path);
  if (made && read_back != degrees) {
    std::cerr << "ffprobe reads " << (read_back ? std::to_string(*read_back) : "no rotation")
              << " from " << path << ", not " << degrees << "\n";
  }
  return made && read_back == degrees;
}

}  // namespace vok_test

#endif  // VOK_VIDEO_PLAYER_TEST_RTEST_CHILD_PROCESS_H
