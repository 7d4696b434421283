#include "tools/mkinstall/random.h"

namespace mkinstall {

std::uint64_t random::next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

std::int64_t random::between(std::int64_t low, std::int64_t high) {
  const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low) + 1;
  // A span of 0 is the whole 64-bit range. The slight bias of the modulo does
  // not matter for test data.
  const std::uint64_t offset = span == 0 ? next() : next() % span;
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + offset);
}

bool random::chance(std::uint64_t numerator, std::uint64_t denominator) { return next() % denominator < numerator; }

std::string random::bytes(std::size_t count) {
  std::string result;
  result.reserve(count);
  while (result.size() < count) {
    std::uint64_t bits = next();
    for (int i = 0; i < 8 && result.size() < count; ++i, bits >>= 8) result += static_cast<char>(bits & 0xff);
  }
  return result;
}

}  // namespace mkinstall
