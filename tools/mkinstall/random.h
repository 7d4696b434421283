#pragma once
// The pseudo-random numbers of a generated installation: splitmix64, seeded
// by the user. Nothing else (time, addresses, the standard library's
// distributions, whose results differ between implementations) enters the
// installation, so that one seed always gives the same files.

#include <cstdint>
#include <string>
#include <vector>

namespace mkinstall {

class random {
 public:
  explicit random(std::uint64_t seed) : state_(seed) {}

  // The next 64 random bits.
  std::uint64_t next();

  // A number in [low, high], both included; low <= high.
  std::int64_t between(std::int64_t low, std::int64_t high);

  // True with the chance numerator / denominator.
  bool chance(std::uint64_t numerator, std::uint64_t denominator);

  // `count` random bytes.
  std::string bytes(std::size_t count);

  // One element of a non-empty list.
  template <typename T>
  const T& pick(const std::vector<T>& list) {
    return list[static_cast<std::size_t>(between(0, static_cast<std::int64_t>(list.size()) - 1))];
  }

 private:
  std::uint64_t state_;
};

}  // namespace mkinstall
