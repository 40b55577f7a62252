#ifndef VOK_VIDEO_PLAYER_COMMON_RANDOM_H
#define VOK_VIDEO_PLAYER_COMMON_RANDOM_H

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace vok {

/// \brief A pseudo-random generator that two threads may draw from at once.
///
/// Every draw is one step under the generator's own lock, so the sequence of draws is
/// reproducible from a seed as far as the order of the callers' draws is.
class Random {
 public:
  /// \brief Starts with a non-reproducible seed.
  Random();

  /// \brief Seeds from a text of decimal digits of any length; leading zeros do not count.
  /// \throws std::invalid_argument when the text is empty or holds a non-digit.
  void seed_from_digits(const std::string& digits);

  /// \brief A uniform real in [0, 1).
  double uniform();

  /// \brief One element chosen uniformly. \pre `items` is not empty.
  std::string choose(const std::vector<std::string>& items);

  /// \brief `k` distinct elements drawn without replacement, in random order. \pre k <= size.
  std::vector<std::string> sample(const std::vector<std::string>& items, std::size_t k);

  /// \brief A uniformly random permutation of `items`, in place.
  void shuffle(std::vector<std::string>& items);

  /// \brief What shuffle() would make of `items` now, with no draw taken: the generator stays
  /// where it is, so that the player can get ready for an order that is yet to be drawn.
  std::vector<std::string> preview_shuffle(std::vector<std::string> items);

 private:
  std::size_t below(std::size_t n) { return below(engine_, n); }     // caller holds mutex_
  static std::size_t below(std::mt19937_64& engine, std::size_t n);  // uniform in [0, n)
  static void shuffle(std::mt19937_64& engine, std::vector<std::string>& items);

  std::mutex mutex_;
  std::mt19937_64 engine_;
};

/// \brief True when `text` is non-empty and made only of the digits 0-9.
bool is_digit_text(const std::string& text);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_COMMON_RANDOM_H
