#include "vok_video_player/common/text_format.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace vok {

std::string number_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";

  // to_chars gives the shortest round-trip digits; lay them out as fixed text for exponents in
  // [-4, 16) and as scientific text beyond, so tiny and huge values stay readable.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string scientific(buffer, result.ptr);
  const auto e_pos = scientific.find('e');
  std::string mantissa = scientific.substr(0, e_pos);
  const int exponent = std::atoi(scientific.c_str() + e_pos + 1);

  std::string sign;
  if (mantissa[0] == '-') {
    sign = "-";
    mantissa.erase(0, 1);
  }
  std::string digits;
  for (char c : mantissa) {
    if (c != '.') digits += c;
  }

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
  char buffer[400];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  double rounded = 0.0;
  std::from_chars(buffer, written.ptr, rounded);
  return rounded;
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
