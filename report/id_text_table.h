#pragma once
// A table of texts by id, filled once by a loading step and then only read:
// site id -> site name, inband id -> site id and the name of the site key
// read. Of the entries of one id the first one appended wins. The entries
// sit in one vector and their texts end to end, as UTF-16 code units, in a
// pool of blocks: a table of a million ids costs a few dozen allocations and
// no tree nodes, where a map of wide strings costs two allocations and about
// a hundred bytes an entry. A wide text and its UTF-16 form stand for each
// other one to one for every text that the program reads.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep {

// Texts end to end, as UTF-16 code units, in blocks that never move: the
// pool grows without copying what it holds and without holding it twice
// meanwhile (a string that doubles does both, into fresh memory each time).
// Each text is known by where it starts, counted over the blocks as if they
// lay end to end, and how long it is, in 32 bits each. A text lies in one
// block: one that does not fit the room left starts the next block, and one
// longer than a block gets a block of its own that stands for as many
// blocks as it spans.
class utf16_pool {
 public:
  struct span {
    std::uint32_t offset;
    std::uint32_t size;
  };

  // Keeps the text and returns where. Throws std::length_error, keeping
  // nothing, when the texts no longer fit the 32-bit offsets.
  span append(std::wstring_view text) {
    char16_t* const start = room_for(2 * text.size());
    return kept(start, text::write_utf16(text, start));
  }
  // The same with the text's UTF-16 code units.
  span append(std::u16string_view text) {
    char16_t* const start = room_for(text.size());
    return kept(start, std::copy(text.begin(), text.end(), start));
  }

  std::u16string_view view(span text) const {
    if (text.size == 0) return {};
    return {blocks_[text.offset / block_units].get() + text.offset % block_units, text.size};
  }

  // Code units in a block: 2 MiB.
  static constexpr std::size_t block_units = std::size_t{1} << 20;

 private:
  // Where `units` code units fit: the room left in the last block, or a new
  // one.
  char16_t* room_for(std::size_t units) {
    if (units <= room_) return next_;
    // Every offset of the blocks, the new ones included, fits 32 bits.
    constexpr std::size_t most_blocks = (std::size_t{std::numeric_limits<std::uint32_t>::max()} + 1) / block_units;
    const std::size_t spanned = std::max<std::size_t>(1, (units + block_units - 1) / block_units);
    if (spanned > most_blocks - blocks_.size()) throw std::length_error("utf16_pool: the texts do not fit");
    blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(spanned * block_units));
    last_ = blocks_.size() - 1;
    // The blocks that a long text spans beyond its own hold nothing, and its
    // block takes no other text, whose offset would fall in them.
    blocks_.resize(blocks_.size() + spanned - 1);
    next_ = blocks_[last_].get();
    room_ = spanned == 1 ? block_units : 0;
    return next_;
  }

  span kept(char16_t* start, char16_t* end) {
    const std::size_t size = static_cast<std::size_t>(end - start);
    if (size == 0) return {0, 0};
    const std::size_t offset = last_ * block_units + static_cast<std::size_t>(start - blocks_[last_].get());
    next_ = end;
    room_ -= std::min(room_, size);
    return {static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(size)};
  }

  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::size_t last_ = 0;  // the block that next_ points into
  char16_t* next_ = nullptr;
  std::size_t room_ = 0;
};

// The value of a table that holds texts only.
struct no_value {};

template <class Value>
class id_text_table {
 public:
  struct entry {
    std::int64_t id;
    [[no_unique_address]] Value value;
    utf16_pool::span text;
  };
  using const_iterator = typename std::vector<entry>::const_iterator;

  // Adds an entry. Throws std::length_error when the texts no longer fit
  // the pool.
  void append(std::int64_t id, Value value, std::wstring_view text) { add(id, value, texts_.append(text)); }
  // The same with the text's UTF-16 code units.
  void append(std::int64_t id, Value value, std::u16string_view text) { add(id, value, texts_.append(text)); }

  // Puts the entries in id order and keeps, of the entries of one id, the
  // first one appended; then gives back the room that growing left unused
  // in the entries.
  // Look-ups and walks need the table in order; appending an id not above
  // the last one puts it out of order.
  void order() {
    if (!ordered_) {
      std::stable_sort(entries_.begin(), entries_.end(), [](const entry& a, const entry& b) { return a.id < b.id; });
      const auto repeats =
          std::unique(entries_.begin(), entries_.end(), [](const entry& a, const entry& b) { return a.id == b.id; });
      entries_.erase(repeats, entries_.end());
      ordered_ = true;
    }
    entries_.shrink_to_fit();
  }

  // The entry of the id, or null. Throws std::logic_error when the table is
  // not in order.
  const entry* find(std::int64_t id) const {
    require_order();
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), id,
                                        [](const entry& e, std::int64_t wanted) { return e.id < wanted; });
    return found != entries_.end() && found->id == id ? &*found : nullptr;
  }

  // The entry's text.
  std::wstring text(const entry& e) const { return text::from_utf16(texts_.view(e.text)); }

  // The entries in id order. Throws std::logic_error when the table is not
  // in order.
  const_iterator begin() const {
    require_order();
    return entries_.begin();
  }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

 private:
  void add(std::int64_t id, Value value, utf16_pool::span text) {
    if (!entries_.empty() && id <= entries_.back().id) ordered_ = false;
    entries_.push_back({id, value, text});
  }

  void require_order() const {
    if (!ordered_) throw std::logic_error("id_text_table: look-up before order()");
  }

  std::vector<entry> entries_;
  utf16_pool texts_;
  bool ordered_ = true;
};

}  // namespace netkeep
