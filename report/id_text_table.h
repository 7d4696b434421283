#pragma once
// A table of texts by id, filled once by a loading step and then only read:
// site id -> site name, inband id -> site id and the name of the site key
// read. Of the entries of one id the first one appended wins. The entries
// sit in one vector and their texts end to end, as UTF-16 code units, in one
// pool: a table of a million ids costs a few allocations and no tree nodes,
// where a map of wide strings costs two allocations and about a hundred
// bytes an entry. A wide text and its UTF-16 form stand for each other one
// to one for every text that the program reads.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep {

// Texts end to end, as UTF-16 code units, in one string; each is known by
// where it starts and how long it is, in 32 bits each.
class utf16_pool {
 public:
  struct span {
    std::uint32_t offset;
    std::uint32_t size;
  };

  // Keeps the text and returns where. Throws std::length_error, keeping
  // nothing, when the texts no longer fit the 32-bit offsets.
  span append(std::wstring_view text) {
    const std::size_t offset = texts_.size();
    texts_.resize(offset + 2 * text.size());
    texts_.resize(static_cast<std::size_t>(text::write_utf16(text, texts_.data() + offset) - texts_.data()));
    return kept_from(offset);
  }
  // The same with the text's UTF-16 code units.
  span append(std::u16string_view text) {
    const std::size_t offset = texts_.size();
    texts_.append(text);
    return kept_from(offset);
  }

  std::u16string_view view(span text) const { return std::u16string_view(texts_).substr(text.offset, text.size); }

  // Gives back the room that growing left unused.
  void shrink_to_fit() { texts_.shrink_to_fit(); }

 private:
  span kept_from(std::size_t offset) {
    if (texts_.size() > std::numeric_limits<std::uint32_t>::max()) {
      texts_.resize(offset);
      throw std::length_error("utf16_pool: the texts do not fit");
    }
    return {static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(texts_.size() - offset)};
  }

  std::u16string texts_;
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
  // first one appended; then gives back the room that growing left unused.
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
    texts_.shrink_to_fit();
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
