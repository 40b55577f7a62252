#ifndef VOK_VIDEO_PLAYER_BENCH_BENCH_ARGS_H
#define VOK_VIDEO_PLAYER_BENCH_BENCH_ARGS_H

#include <stdexcept>
#include <string>

namespace vok {
namespace bench {

/// \brief Walks the "--name [value]" arguments of a bench program, which scripts/bench alone
/// calls: each name is taken in turn, and its value only when the program asks for one.
class Args {
 public:
  Args(int argc, char** argv) : argc_(argc), argv_(argv) {}

  /// \brief Moves to the next name; false when none is left.
  bool next() {
    if (++i_ >= argc_) return false;
    name_ = argv_[i_];
    return true;
  }

  /// \brief The current name.
  const std::string& name() const { return name_; }

  /// \brief Takes the argument after the current name as its value.
  /// \throws std::invalid_argument when there is none.
  std::string value() {
    if (i_ + 1 >= argc_) throw std::invalid_argument(name_ + " needs a value");
    return argv_[++i_];
  }

 private:
  int argc_;
  char** argv_;
  int i_ = 0;
  std::string name_;
};

}  // namespace bench
}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_BENCH_BENCH_ARGS_H
