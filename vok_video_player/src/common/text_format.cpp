#include "vok_video_player/common/text_format.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <locale>
#include <sstream>

namespace vok {

namespace {

// The standard's floating-point to_chars and from_chars came with GCC 11; ROS Noetic's compilers
// (GCC 9 on Ubuntu 20.04, GCC 10 on Debian 11) lack them. Streams in the classic locale give the
// same correctly rounded text on every compiler, whatever locale a library sets for the process.

/// `value` in scientific notation with `digits` significant digits, correctly rounded.
std::string scientific_text(double value, int digits) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::scientific << std::setprecision(digits - 1) << value;
  return out.str();
}

double read_double(const std::string& text) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double value = 0.0;
  in >> value;
  return value;
}

/// A decimal as its significant digits and the power of ten of the first one: 0.37 is {"37", -1}.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

/// The decimal of `mantissa` times ten to `power`, without trailing zeros in its digits.
Decimal decimal_of(int64_t mantissa, int power) {
  std::string digits = std::to_string(mantissa);
  const int exponent = power + static_cast<int>(digits.size()) - 1;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return {digits, exponent};
}

/// The fewest significant digits that read back as `value` (positive and finite); of several
/// with that many digits, the nearest to `value`.
Decimal shortest_decimal(double value) {
  for (int digits = 1;; ++digits) {
    // The correctly rounded text is the nearest with this many digits. Next to a power of two
    // the doubles below lie closer together than those above, so the neighbour above may read
    // back where the nearest does not.
    const std::string text = scientific_text(value, digits);
    const auto e_pos = text.find('e');
    std::string mantissa_digits;
    for (char c : text.substr(0, e_pos)) {
      if (c != '.') mantissa_digits += c;
    }
    const int64_t mantissa = std::stoll(mantissa_digits);
    const int power = std::atoi(text.c_str() + e_pos + 1) - (digits - 1);
    // Seventeen digits always read back.
    if (digits == 17) return decimal_of(mantissa, power);
    for (const int64_t candidate : {mantissa, mantissa + 1}) {
      if (read_double(std::to_string(candidate) + "e" + std::to_string(power)) == value)
        return decimal_of(candidate, power);
    }
  }
}

}  // namespace

std::string number_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  const std::string sign = std::signbit(value) ? "-" : "";
  if (value == 0.0) return sign + "0.0";

  // Fixed text for exponents in [-4, 16) and scientific text beyond, so tiny and huge values
  // stay readable.
  const Decimal shortest = shortest_decimal(std::fabs(value));
  const std::string& digits = shortest.digits;
  const int exponent = shortest.exponent;
  if (exponent < -4 || exponent >= 16) {
    std::string text = sign + digits.substr(0, 1);
    if (digits.size() > 1) text += "." + digits.substr(1);
    const std::string magnitude = std::to_string(std::abs(exponent));
    return text + (exponent < 0 ? "e-" : "e+") + (magnitude.size() < 2 ? "0" : "") + magnitude;
  }
  std::string text;
  if (exponent < 0) {
    text = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const auto integer_digits = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= integer_digits) {
      text = digits + std::string(integer_digits - digits.size(), '0') + ".0";
    } else {
      text = digits.substr(0, integer_digits) + "." + digits.substr(integer_digits);
    }
  }
  return sign + text;
}

double round_two_decimals(double value) {
  // Fixed formatting with a precision works on the exact binary value and breaks exact ties to
  // even, which a multiply-and-round would not.
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::fixed << std::setprecision(2) << value;
  return read_double(out.str());
}

std::string title_case(const std::string& text) {
  std::string result = text;
  bool in_word = false;
  for (char& c : result) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) {
      c = static_cast<char>(in_word ? std::tolower(u) : std::toupper(u));
      in_word = true;
    } else {
      in_word = false;
    }
  }
  return result;
}

std::string format_playlist(const std::vector<std::string>& names) {
  std::string text = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) text += ", ";
    text += "'" + names[i] + "'";
  }
  return text + "]";
}

std::string print_line(const std::vector<std::string>& items) {
  std::string line;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) line += ' ';
    line += items[i];
  }
  return line;
}

}  // namespace vok
