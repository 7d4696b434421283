#include "platform/win32/registry_tree_storage.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "platform/memory/large_pages.h"

namespace win32::registry {
namespace detail {

enum class name_form : std::uint8_t { narrow, wide };
enum class folded_form : std::uint8_t { same, narrow, utf16 };

// A name as stored: this header, the name's characters (narrow: one byte
// each, wide: wchar_t), then the folded form unless it is the same units as
// the name (narrow: one byte each, utf16: char16_t).
struct name_record {
  std::uint16_t length;         // characters of the name
  std::uint16_t folded_length;  // units of the folded form
  name_form name;
  folded_form folded;
};

}  // namespace detail

namespace {

using detail::folded_form;
using detail::name_form;
using detail::name_record;

// The name's text starts here, aligned for wchar_t and char16_t alike.
constexpr std::size_t text_offset = 8;
static_assert(sizeof(name_record) <= text_offset && text_offset % alignof(wchar_t) == 0);
constexpr std::size_t record_alignment = std::max(alignof(name_record), alignof(wchar_t));

// Code units as unsigned numbers, whatever their type (wchar_t is signed
// where it is four bytes).
std::uint32_t unit(unsigned char c) { return c; }
std::uint32_t unit(char16_t c) { return c; }
std::uint32_t unit(wchar_t c) { return static_cast<std::uint32_t>(static_cast<char32_t>(c)); }

const unsigned char* text_of(const name_record& record) {
  return reinterpret_cast<const unsigned char*>(&record) + text_offset;
}

std::size_t folded_offset(const name_record& record) {
  const std::size_t name_end =
      text_offset + record.length * (record.name == name_form::narrow ? 1 : sizeof(wchar_t));
  return record.folded == folded_form::utf16 ? (name_end + 1) / 2 * 2 : name_end;
}

constexpr unsigned char no_text[1] = {};

// Calls f(units, count) with the name's characters; null is the empty name.
template <class F>
decltype(auto) with_name(const name_record* record, F f) {
  if (record == nullptr) return f(no_text, std::size_t{0});
  if (record->name == name_form::narrow) return f(text_of(*record), std::size_t{record->length});
  return f(reinterpret_cast<const wchar_t*>(text_of(*record)), std::size_t{record->length});
}

// Calls f(units, count) with the folded form's units.
template <class F>
decltype(auto) with_folded(const name_record* record, F f) {
  if (record == nullptr || record->folded == folded_form::same) return with_name(record, f);
  const unsigned char* at = reinterpret_cast<const unsigned char*>(record) + folded_offset(*record);
  if (record->folded == folded_form::narrow) return f(at, std::size_t{record->folded_length});
  return f(reinterpret_cast<const char16_t*>(at), std::size_t{record->folded_length});
}

template <class A, class B>
int compare_units(const A* a, std::size_t a_size, const B* b, std::size_t b_size) {
  const std::size_t shorter = std::min(a_size, b_size);
  for (std::size_t i = 0; i < shorter; ++i) {
    const std::uint32_t x = unit(a[i]);
    const std::uint32_t y = unit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a_size < b_size ? -1 : (a_size > b_size ? 1 : 0);
}

template <class A, class B>
bool equal_units(const A* a, std::size_t a_size, const B* b, std::size_t b_size) {
  if (a_size != b_size) return false;
  for (std::size_t i = 0; i < a_size; ++i) {
    if (unit(a[i]) != unit(b[i])) return false;
  }
  return true;
}

// FNV-1a over the units' values.
template <class Unit>
std::size_t hash_units(const Unit* units, std::size_t count) {
  std::uint64_t hash = 0xcbf29ce484222325;
  for (std::size_t i = 0; i < count; ++i) hash = (hash ^ unit(units[i])) * 0x100000001b3;
  return static_cast<std::size_t>(hash ^ (hash >> 29));
}

}  // namespace

// stored_name

std::size_t stored_name::size() const { return record_ == nullptr ? 0 : record_->length; }

std::size_t stored_name::folded_size() const { return record_ == nullptr ? 0 : record_->folded_length; }

wchar_t stored_name::at(std::size_t index) const {
  return with_name(record_, [index](const auto* units, std::size_t) { return static_cast<wchar_t>(units[index]); });
}

std::wstring stored_name::str() const {
  std::wstring out;
  copy_to(out);
  return out;
}

void stored_name::copy_to(std::wstring& out) const {
  with_name(record_, [&out](const auto* units, std::size_t count) { out.assign(units, units + count); });
}

const unsigned char* stored_name::narrow() const {
  if (record_ == nullptr) return no_text;
  return record_->name == name_form::narrow ? text_of(*record_) : nullptr;
}

std::u16string stored_name::folded() const {
  return with_folded(record_, [](const auto* units, std::size_t count) {
    std::u16string out(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char16_t>(unit(units[i]));
    return out;
  });
}

int stored_name::compare_folded(std::u16string_view folded) const {
  return with_folded(record_, [folded](const auto* units, std::size_t count) {
    return compare_units(units, count, folded.data(), folded.size());
  });
}

int stored_name::compare_folded(const stored_name& other) const {
  if (record_ == other.record_) return 0;
  return with_folded(record_, [&other](const auto* a, std::size_t a_size) {
    return with_folded(other.record_, [a, a_size](const auto* b, std::size_t b_size) {
      return compare_units(a, a_size, b, b_size);
    });
  });
}

bool stored_name::folded_equals(std::u16string_view folded) const {
  if (folded.size() != folded_size()) return false;
  return with_folded(record_, [folded](const auto* units, std::size_t count) {
    return equal_units(units, count, folded.data(), folded.size());
  });
}

std::size_t stored_name::folded_hash() const {
  return with_folded(record_, [](const auto* units, std::size_t count) { return hash_units(units, count); });
}

std::size_t stored_name::folded_hash(std::u16string_view folded) {
  return hash_units(folded.data(), folded.size());
}

// hive_storage

hive_storage::hive_storage() = default;
hive_storage::~hive_storage() {
  for (const block& b : blocks_) netkeep::memory::large_page_allocator<unsigned char>().deallocate(b.start, b.size);
}

hive_storage* hive_storage::create() { return new hive_storage; }

void hive_storage::release() {
  if (--references_ == 0) delete this;
}

void* hive_storage::allocate(std::size_t bytes, std::size_t alignment) {
  // Large pieces get a block of their own, so that little room is wasted.
  if (bytes > block_bytes / 8) return large_.emplace_back(std::make_unique_for_overwrite<unsigned char[]>(bytes)).get();
  std::size_t padding = (alignment - reinterpret_cast<std::uintptr_t>(next_) % alignment) % alignment;
  if (next_ == nullptr || padding + bytes > left_) {
    // The blocks double up to the size that lives in large pages: the few
    // hundred megabytes of a hive of a million sites are first touched a
    // large page at a time, not 4 KiB at a time.
    const std::size_t size =
        blocks_.empty() ? block_bytes : std::min(2 * blocks_.back().size, netkeep::memory::large_bytes);
    blocks_.reserve(blocks_.size() + 1);  // so that the block is owned once allocated
    next_ = netkeep::memory::large_page_allocator<unsigned char>().allocate(size);
    blocks_.push_back({next_, size});
    left_ = size;
    padding = 0;  // the allocator aligns for every fundamental type
  }
  unsigned char* at = next_ + padding;
  next_ = at + bytes;
  left_ -= padding + bytes;
  return at;
}

stored_name hive_storage::store_name(std::wstring_view name, std::u16string_view folded) {
  if (name.empty()) return stored_name();
  if (recent_ == nullptr) recent_ = std::make_unique<const name_record*[]>(recent_slots);
  const name_record*& slot = recent_[hash_units(name.data(), name.size()) & (recent_slots - 1)];
  if (slot != nullptr && with_name(slot, [name](const auto* units, std::size_t count) {
        return equal_units(units, count, name.data(), name.size());
      })) {
    return stored_name(slot);
  }
  const stored_name made = make_name(name, folded);
  slot = made.record_;
  return made;
}

stored_name hive_storage::make_name(std::wstring_view name, std::u16string_view folded) {
  constexpr std::size_t longest = std::numeric_limits<std::uint16_t>::max();
  if (name.size() > longest || folded.size() > longest) throw std::length_error("registry name too long to store");
  const bool narrow_name = std::all_of(name.begin(), name.end(), [](wchar_t c) { return unit(c) < 0x100; });
  const bool narrow_folded = std::all_of(folded.begin(), folded.end(), [](char16_t c) { return c < 0x100; });
  name_record header{static_cast<std::uint16_t>(name.size()), static_cast<std::uint16_t>(folded.size()),
                     narrow_name ? name_form::narrow : name_form::wide,
                     equal_units(name.data(), name.size(), folded.data(), folded.size())
                         ? folded_form::same
                         : (narrow_folded ? folded_form::narrow : folded_form::utf16)};
  const std::size_t folded_at = folded_offset(header);
  const std::size_t bytes =
      header.folded == folded_form::same ? folded_at : folded_at + folded.size() * (narrow_folded ? 1 : 2);

  auto* base = static_cast<unsigned char*>(allocate(bytes, record_alignment));
  auto* record = new (base) name_record(header);
  unsigned char* text = base + text_offset;
  if (narrow_name) {
    std::transform(name.begin(), name.end(), text, [](wchar_t c) { return static_cast<unsigned char>(unit(c)); });
  } else {
    std::memcpy(text, name.data(), name.size() * sizeof(wchar_t));
  }
  if (header.folded == folded_form::narrow) {
    std::transform(folded.begin(), folded.end(), base + folded_at,
                   [](char16_t c) { return static_cast<unsigned char>(c); });
  } else if (header.folded == folded_form::utf16) {
    std::memcpy(base + folded_at, folded.data(), folded.size() * sizeof(char16_t));
  }
  return stored_name(record);
}

const value_entry* hive_storage::store_value(stored_name name, std::uint32_t type, std::string_view data) {
  if (data.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("registry value too large");
  void* at = allocate(sizeof(value_entry) + data.size(), alignof(value_entry));
  auto* value = new (at) value_entry(name, type, static_cast<std::uint32_t>(data.size()));
  if (!data.empty()) std::memcpy(value + 1, data.data(), data.size());
  return value;
}

}  // namespace win32::registry
