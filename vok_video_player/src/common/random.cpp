#include "vok_video_player/common/random.h"

#include <algorithm>
#include <stdexcept>

namespace vok {

Random::Random() {
  std::random_device device;
  std::seed_seq seq{device(), device(), device(), device()};
  engine_.seed(seq);
}

bool is_digit_text(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void Random::seed_from_digits(const std::string& digits) {
  if (!is_digit_text(digits)) throw std::invalid_argument("seed is not a digit text: " + digits);
  const std::string value = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
  std::lock_guard<std::mutex> lock(mutex_);
  // Up to 19 digits always fit in 64 bits and seed the engine with their value; longer texts
  // feed every digit through a seed sequence, so each distinct number still gives its own stream.
  if (value.size() <= 19) {
    engine_.seed(value.empty() ? 0 : std::stoull(value));
    return;
  }
  std::vector<std::uint32_t> words{static_cast<std::uint32_t>(value.size())};
  for (std::size_t i = 0; i < value.size(); i += 9) {
    words.push_back(static_cast<std::uint32_t>(std::stoul(value.substr(i, 9))));
  }
  std::seed_seq seq(words.begin(), words.end());
  engine_.seed(seq);
}

double Random::uniform() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

std::size_t Random::below(std::mt19937_64& engine, std::size_t n) {
  return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
}

std::string Random::choose(const std::vector<std::string>& items) {
  if (items.empty()) throw std::invalid_argument("choose from an empty sequence");
  std::lock_guard<std::mutex> lock(mutex_);
  return items[below(items.size())];
}

std::vector<std::string> Random::sample(const std::vector<std::string>& items, std::size_t k) {
  if (k > items.size()) throw std::invalid_argument("sample larger than the sequence");
  std::vector<std::string> pool(items);
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < k; ++i) std::swap(pool[i], pool[i + below(pool.size() - i)]);
  pool.resize(k);
  return pool;
}

void Random::shuffle(std::mt19937_64& engine, std::vector<std::string>& items) {
  for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(engine, i)]);
}

void Random::shuffle(std::vector<std::string>& items) {
  std::lock_guard<std::mutex> lock(mutex_);
  shuffle(engine_, items);
}

std::vector<std::string> Random::preview_shuffle(std::vector<std::string> items) {
  std::mt19937_64 engine;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    engine = engine_;
  }
  shuffle(engine, items);
  return items;
}

}  // namespace vok
