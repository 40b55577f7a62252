#ifndef VOK_VIDEO_PLAYER_COMMON_TEXT_FORMAT_H
#define VOK_VIDEO_PLAYER_COMMON_TEXT_FORMAT_H

#include <string>
#include <vector>

namespace vok {

/// \brief The shortest decimal text that reads back as `value`, with at least one digit after
/// the point: 0.6, 0.37, 1.0, 1e-05, 1e+16. Very small and very large magnitudes use an exponent.
std::string number_text(double value);

/// \brief `value` rounded to two decimals on its exact binary value, ties to even.
double round_two_decimals(double value);

/// \brief Each run of letters with its first letter upper case and the rest lower case.
std::string title_case(const std::string& text);

/// \brief A playlist as "['a', 'b']".
std::string format_playlist(const std::vector<std::string>& names);

/// \brief The items joined by single blanks, as one output line without its newline.
std::string print_line(const std::vector<std::string>& items);

}  // namespace vok

#endif  // VOK_VIDEO_PLAYER_COMMON_TEXT_FORMAT_H
