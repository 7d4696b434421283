#pragma once
// A process-wide count of the calls that the registry layer makes into its
// backend (on Windows: advapi32 calls, each a round trip into the system),
// for measuring how many calls a command needs.
//
// When the environment variable NETKEEP_REGISTRY_CALLS names a file at
// start, the count is written there as one decimal line when the process
// exits normally. Without it nothing is written; counting alone costs one
// relaxed atomic increment per call.

#include <cstdint>

namespace win32::registry {

// Counts one backend call. Called by the backends only.
void count_call() noexcept;

// The calls counted so far.
std::uint64_t call_count() noexcept;

}  // namespace win32::registry
