#pragma once
// Storage for the large tables that the checks look up at random, such as
// the registry's device entries and their hash index: a few hundred
// megabytes at a million sites. A look-up there misses the processor's
// caches, and with pages of 4 KiB the translation of its address misses
// too. Where the system gives large pages to a program that asks for them
// (Linux's transparent huge pages), this storage asks for them; elsewhere it
// is plain heap memory.

#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace netkeep::memory {

// Pieces of at least this size come from allocate_large.
inline constexpr std::size_t large_bytes = std::size_t{4} << 20;

// At least `bytes` of storage, aligned for every fundamental type, in large
// pages where the system has them for the asking. Throws std::bad_alloc.
void* allocate_large(std::size_t bytes);

// Gives back what allocate_large(bytes) returned.
void release_large(void* storage, std::size_t bytes) noexcept;

// An allocator for containers that may grow large: pieces of large_bytes or
// more come from allocate_large, smaller ones from the heap.
template <class T>
struct large_page_allocator {
  using value_type = T;

  large_page_allocator() = default;
  template <class U>
  large_page_allocator(const large_page_allocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    if (n * sizeof(T) < large_bytes) return std::allocator<T>().allocate(n);
    return static_cast<T*>(allocate_large(n * sizeof(T)));
  }
  void deallocate(T* storage, std::size_t n) noexcept {
    if (n * sizeof(T) < large_bytes) {
      std::allocator<T>().deallocate(storage, n);
    } else {
      release_large(storage, n * sizeof(T));
    }
  }

  friend bool operator==(const large_page_allocator&, const large_page_allocator&) { return true; }
};

}  // namespace netkeep::memory
