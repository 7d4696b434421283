#include "tools/mkinstall/options.h"

#include <charconv>

namespace mkinstall {
namespace {

template <typename Number>
Number parse_number(const std::string& option, const std::string& text) {
  Number value{};
  const char* end = text.data() + text.size();
  auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (failure != std::errc() || stop != end) throw usage_error(option + " expects a number, not '" + text + "'");
  return value;
}

}  // namespace

const char* usage_text() {
  return "usage:\n"
         "  mkinstall init DIR\n"
         "  mkinstall create DIR [--sites N] [--seed S] [--faults none|all|NAME,...] [--no-indexes]\n"
         "  mkinstall faults\n";
}

options parse_options(const std::vector<std::string>& words) {
  if (words.empty()) throw usage_error("no command given");
  options result;
  const std::string& command = words[0];
  if (command == "faults") {
    if (words.size() > 1) throw usage_error("faults takes no arguments");
    result.command = command_word::faults;
    return result;
  }
  if (command == "init") {
    result.command = command_word::init;
  } else if (command == "create") {
    result.command = command_word::create;
  } else {
    throw usage_error("unknown command '" + command + "'");
  }

  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    const bool is_option = word.size() > 1 && word[0] == '-';
    if (!is_option) {
      if (!result.directory.empty()) throw usage_error("more than one directory given");
      result.directory = word;
      continue;
    }
    if (result.command != command_word::create) throw usage_error("init takes no options");
    if (word == "--no-indexes") {
      result.with_indexes = false;
      continue;
    }
    if (word != "--sites" && word != "--seed" && word != "--faults") throw usage_error("unknown option '" + word + "'");
    if (i + 1 == words.size()) throw usage_error(word + " expects a value");
    const std::string& value = words[++i];
    if (word == "--sites") {
      result.sites = parse_number<std::int64_t>(word, value);
      if (result.sites < 1) throw usage_error("--sites must be at least 1");
    } else if (word == "--seed") {
      result.seed = parse_number<std::uint64_t>(word, value);
    } else {
      if (value.empty()) throw usage_error("--faults expects none, all or fault names");
      result.faults = value;
    }
  }
  if (result.directory.empty()) throw usage_error(command + " expects a directory");
  return result;
}

}  // namespace mkinstall
