#include "vok_video_player/node/options.h"

#include <algorithm>

#include <boost/program_options.hpp>

namespace po = boost::program_options;

namespace vok {

namespace {

const char* const DESCRIPTION = "Generate locations";

po::options_description make_options() {
  po::options_description options("options");
  // Values are collected as lists so that a repeated option is no error: the last one wins.
  options.add_options()("help,h", "show this help message and exit")(
      "seed", po::value<std::vector<std::string>>()->value_name("SEED"),
      "Seed to remove randomness")(
      "video_folder", po::value<std::vector<std::string>>()->value_name("VIDEO_FOLDER"),
      "Path to the video folder")("test", po::value<std::vector<std::string>>()->zero_tokens(),
                                  "Test mode");
  return options;
}

std::string help_text(const std::string& program) {
  return usage_line(program) + "\n\n" + DESCRIPTION +
         "\n\n"
         "options:\n"
         "  -h, --help            show this help message and exit\n"
         "  --seed SEED           Seed to remove randomness\n"
         "  --video_folder VIDEO_FOLDER\n"
         "                        Path to the video folder\n"
         "  --test                Test mode\n";
}

ParseResult error(const std::string& program, const std::string& message) {
  ParseResult result;
  result.outcome = ParseResult::Outcome::error;
  result.exit_status = 2;
  result.text = usage_line(program) + "\n" + program + ": error: " + message + "\n";
  return result;
}

bool is_help_token(const std::string& token) {
  static const std::string long_help = "--help";
  return token == "-h" || (token.size() >= 3 && token.size() <= long_help.size() &&
                           long_help.compare(0, token.size(), token) == 0);
}

bool takes_value(const std::string& token) {
  if (token.size() < 3 || token.find('=') != std::string::npos) return false;
  for (const std::string name : {"--seed", "--video_folder"}) {
    if (name.compare(0, token.size(), token) == 0) return true;
  }
  return false;
}

// Help is answered as soon as it is seen, before any missing or unknown argument is reported;
// a help token that stands as another option's value is that option's value.
bool asks_for_help(const std::vector<std::string>& argv) {
  for (std::size_t i = 0; i < argv.size(); ++i) {
    if (argv[i] == "--") return false;
    if (is_help_token(argv[i])) return true;
    if (takes_value(argv[i])) ++i;
  }
  return false;
}

}  // namespace

std::string usage_line(const std::string& program) {
  return "usage: " + program + " [-h] [--seed SEED] --video_folder VIDEO_FOLDER [--test]";
}

ParseResult parse_args(const std::vector<std::string>& argv, const std::string& program) {
  if (asks_for_help(argv)) {
    ParseResult result;
    result.outcome = ParseResult::Outcome::help;
    result.text = help_text(program);
    return result;
  }

  // "--seed=" names an empty value; the parser would take it for a missing one.
  std::vector<std::string> tokens;
  for (const auto& token : argv) {
    if (token.size() > 1 && token.back() == '=' && takes_value(token.substr(0, token.size() - 1))) {
      tokens.push_back(token.substr(0, token.size() - 1));
      tokens.emplace_back();
    } else {
      tokens.push_back(token);
    }
  }

  const po::options_description options = make_options();
  po::parsed_options parsed(&options);
  try {
    parsed = po::command_line_parser(tokens)
                 .options(options)
                 .style(po::command_line_style::unix_style & ~po::command_line_style::allow_sticky)
                 .allow_unregistered()
                 .run();
  } catch (const po::invalid_command_line_syntax& e) {
    const std::string& name = e.get_option_name();
    const std::string option =
        "--" + name.substr(std::min(name.find_first_not_of('-'), name.size()));
    if (e.kind() == po::invalid_command_line_syntax::extra_parameter) {
      std::string value;
      for (const auto& token : tokens) {
        const auto eq = token.find('=');
        if (eq != std::string::npos && token.compare(0, 3, "--t") == 0)
          value = token.substr(eq + 1);
      }
      return error(program, "argument " + option + ": ignored explicit argument '" + value + "'");
    }
    return error(program, "argument " + option + ": expected one argument");
  } catch (const po::error& e) {
    return error(program, e.what());
  }

  ParseResult result;
  std::vector<std::string> unrecognised;
  bool have_folder = false;
  for (const auto& option : parsed.options) {
    if (option.unregistered || option.string_key.empty()) {
      unrecognised.insert(unrecognised.end(), option.original_tokens.begin(),
                          option.original_tokens.end());
    } else if (option.string_key == "seed") {
      result.args.seed = option.value.back();
    } else if (option.string_key == "video_folder") {
      result.args.video_folder = option.value.back();
      have_folder = true;
    } else if (option.string_key == "test") {
      result.args.test = true;
    }
  }
  if (!have_folder) {
    return error(program, "the following arguments are required: --video_folder");
  }
  if (!unrecognised.empty()) {
    std::string list;
    for (const auto& token : unrecognised) list += (list.empty() ? "" : " ") + token;
    return error(program, "unrecognized arguments: " + list);
  }
  return result;
}

}  // namespace vok
