#pragma once
// Structured input for the fuzz targets: the fuzzer's bytes read front to
// back as small numbers and byte strings. Reading past the end gives zeros
// and empty strings, so every input is a valid one.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace netkeep::fuzz {

class fuzz_input {
 public:
  fuzz_input(const std::uint8_t* data, std::size_t size)
      : bytes_(reinterpret_cast<const char*>(data), size) {}

  bool empty() const { return bytes_.empty(); }

  std::uint8_t byte() {
    if (bytes_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return value;
  }

  // A string of the length given by the next byte (at most what is left).
  std::string short_bytes() {
    const std::size_t length = std::min<std::size_t>(byte(), bytes_.size());
    std::string taken(bytes_.substr(0, length));
    bytes_.remove_prefix(length);
    return taken;
  }

 private:
  std::string_view bytes_;
};

}  // namespace netkeep::fuzz
