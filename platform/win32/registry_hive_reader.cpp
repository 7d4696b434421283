// Reading the hive file; the format is described in registry_hive_format.h.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/text/unicode.h"
#include "platform/win32/registry.h"
#include "platform/win32/registry_hive_format.h"
#include "platform/win32/registry_names.h"

namespace win32::registry {
namespace {

constexpr std::wstring_view header_v5 = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view header_v4 = L"REGEDIT4";
constexpr std::wstring_view root_name = L"HKEY_LOCAL_MACHINE";

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view trim(std::wstring_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

int hex_digit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Removes `prefix` (ASCII, compared case-insensitively) from the front of
// `text`; false when it is not there.
bool consume_prefix(std::wstring_view& text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != prefix[i]) return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

// Widens `bytes` into `line` byte by byte (reusing its buffer) and tells
// whether they were plain ASCII without NUL; eight bytes at a time.
bool widen_plain(std::string_view bytes, std::wstring& line) {
  constexpr std::uint64_t ones = 0x0101010101010101;
  constexpr std::uint64_t highs = 0x8080808080808080;
  line.resize(bytes.size());
  const char* in = bytes.data();
  wchar_t* out = line.data();
  std::uint64_t odd = 0;  // high bits: a byte at or above 0x80, or a zero byte
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, in + i, sizeof word);
    odd |= (word | (word - ones)) & highs;
    for (std::size_t k = 0; k < 8; ++k) out[i + k] = static_cast<wchar_t>(static_cast<unsigned char>(in[i + k]));
  }
  bool plain = (odd == 0);
  for (; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(in[i]);
    plain &= c != 0 && c < 0x80;
    out[i] = static_cast<wchar_t>(c);
  }
  return plain;
}

// The lines of the file, decoded, without their line ends, read from the
// file a piece at a time: neither the file nor its wide text is ever held
// whole, only the piece that holds the line being read.
class line_source {
 public:
  explicit line_source(const hive_reader& read) : read_(read) {
    while (end_ < 3 && fill()) {
    }
    const std::string_view start(buffer_.data(), end_);
    if (start.starts_with("\xFF\xFE")) {
      is_wide_ = true;
      begin_ = 2;
    } else if (start.starts_with("\xEF\xBB\xBF")) {
      begin_ = 3;
    }
  }

  // The next line, or false after the last; number() is then its number.
  bool next(std::wstring& line) {
    std::string_view bytes;
    if (!next_bytes(bytes)) return false;
    ++number_;
    valid_ = true;
    if (is_wide_) {
      line.clear();  // its buffer is reused
      netkeep::text::append_from_utf16le(line, bytes);
      // A lone surrogate cannot be written back as UTF-8.
      valid_ = netkeep::text::from_utf8(netkeep::text::to_utf8(line)) == line;
      has_nul_ = line.find(L'\0') != std::wstring::npos;
    } else if (widen_plain(bytes, line)) {
      // Plain ASCII without NUL (nearly every line) is widened as it is,
      // reusing the line's buffer.
      has_nul_ = false;
    } else {
      line = netkeep::text::from_utf8(bytes);
      // Bytes that are not UTF-8 would be read as other characters and
      // written back differently.
      valid_ = netkeep::text::to_utf8(line) == bytes;
      // Only a NUL byte decodes to a NUL character.
      has_nul_ = bytes.find('\0') != std::string_view::npos;
    }
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return true;
  }

  std::size_t number() const { return number_; }
  // False when the last line read was not valid UTF-8.
  bool valid() const { return valid_; }
  // True when the last line read holds a NUL character.
  bool has_nul() const { return has_nul_; }

 private:
  static constexpr std::size_t piece_bytes = 1 << 20;

  // The bytes of the next line without its line feed (the code unit 0x000A
  // in UTF-16), valid until the next call; false after the last line. The
  // text of a UTF-16 file is whole code units: an odd last byte is no text.
  bool next_bytes(std::string_view& bytes) {
    const std::size_t unit = is_wide_ ? 2 : 1;
    std::size_t scan = begin_;  // where no line feed was found yet
    for (;;) {
      const std::size_t feed = find_line_feed(scan);
      if (feed != std::string_view::npos) {
        bytes = std::string_view(buffer_.data() + begin_, feed - begin_);
        begin_ = feed + unit;
        return true;
      }
      const std::size_t scanned = scan - begin_;
      if (!fill()) break;
      scan = begin_ + scanned;
    }
    const std::size_t rest = (end_ - begin_) / unit * unit;
    if (rest == 0) return false;
    bytes = std::string_view(buffer_.data() + begin_, rest);
    begin_ = end_;
    return true;
  }

  // The position of the first line feed at or after `scan` in the bytes
  // read; npos when there is none, with `scan` moved to where a search may
  // go on once more is read (before an odd last byte of UTF-16).
  std::size_t find_line_feed(std::size_t& scan) const {
    if (!is_wide_) {
      const void* feed = std::memchr(buffer_.data() + scan, '\n', end_ - scan);
      if (feed != nullptr) return static_cast<std::size_t>(static_cast<const char*>(feed) - buffer_.data());
      scan = end_;
      return std::string_view::npos;
    }
    for (; scan + 2 <= end_; scan += 2) {
      if (buffer_[scan] == '\n' && buffer_[scan + 1] == '\0') return scan;
    }
    return std::string_view::npos;
  }

  // Reads more of the file after the bytes not yet taken, which move to the
  // front of the buffer first; the buffer grows for a line longer than it.
  // False at the end of the file.
  bool fill() {
    if (at_end_) return false;
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() - end_ < piece_bytes / 2) buffer_.resize(std::max(piece_bytes, 2 * buffer_.size()));
    const std::size_t got = read_(buffer_.data() + end_, buffer_.size() - end_);
    end_ += got;
    at_end_ = got == 0;
    return !at_end_;
  }

  const hive_reader& read_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the first byte not yet taken
  std::size_t end_ = 0;    // the end of the bytes read
  bool at_end_ = false;
  bool is_wide_ = false;
  bool valid_ = true;
  bool has_nul_ = false;
  std::size_t number_ = 0;
};

// The length of the longest common prefix of `a` and `b`, compared a block
// at a time.
std::size_t common_prefix(std::wstring_view a, std::wstring_view b) {
  constexpr std::size_t block = 16;
  const std::size_t shorter = std::min(a.size(), b.size());
  std::size_t at = 0;
  while (at + block <= shorter && std::memcmp(a.data() + at, b.data() + at, block * sizeof(wchar_t)) == 0) {
    at += block;
  }
  while (at < shorter && a[at] == b[at]) ++at;
  return at;
}

class hive_parser {
 public:
  hive_parser(const hive_reader& read, const std::string& file_name) : lines_(read), file_name_(file_name) {}

  std::unique_ptr<key_node> parse() {
    std::wstring line;
    if (!lines_.next(line)) return std::move(root_);
    const std::wstring_view header = trim(line);
    if (header != header_v5 && header != header_v4) fail("expected the header \"Windows Registry Editor Version 5.00\"");
    while (lines_.next(line)) {
      // No registry export holds a NUL character; inside a name it would cut
      // the name short and change what the file means when written back.
      if (lines_.has_nul()) fail("NUL character in the line");
      if (!lines_.valid()) fail("invalid UTF-8 or UTF-16 in the line");
      const std::wstring_view text = trim(line);
      if (text.empty() || text.front() == L';') continue;
      if (text.front() == L'[') {
        read_section(text);
      } else if (text.front() == L'"' || text.front() == L'@') {
        read_value(text);
      } else {
        fail("expected a value or a section");
      }
    }
    drop_deleted_and_sort();
    return std::move(root_);
  }

 private:
  // Identifies a subkey while loading, before the subkey lists are sorted.
  struct child_ref {
    const key_node* parent;
    std::u16string folded;
    bool operator==(const child_ref&) const = default;
  };
  struct child_ref_hash {
    std::size_t operator()(const child_ref& ref) const {
      return std::hash<const void*>()(ref.parent) * 31 + std::hash<std::u16string>()(ref.folded);
    }
  };

  [[noreturn]] void fail(const std::string& problem) const { fail_at(lines_.number(), problem); }

  [[noreturn]] void fail_at(std::size_t line, const std::string& problem) const {
    throw std::runtime_error(file_name_ + ":" + std::to_string(line) + ": " + problem);
  }

  void read_section(std::wstring_view text) {
    if (text.back() != L']') fail("expected \"]\" at the end of the section");
    text = text.substr(1, text.size() - 2);
    const bool deletion = !text.empty() && text.front() == L'-';
    if (deletion) text.remove_prefix(1);

    std::vector<std::wstring_view>& names = names_;
    names.clear();
    for (std::size_t start = 0;;) {
      const std::size_t end = text.find(L'\\', start);
      names.push_back(text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
      if (end == std::wstring_view::npos) break;
      start = end + 1;
    }
    if (!folds_to(names.front(), root_folded_)) fail("expected a key of HKEY_LOCAL_MACHINE");
    if (names.size() > max_key_depth) fail("key nested too deeply");

    // Sections usually share most of their path with the one before (a key
    // of that path was checked when it was read). Names spelled exactly as
    // there are found by comparing the text; others by their folded forms.
    const std::size_t common = common_prefix(text, previous_path_);
    std::size_t same_names = 0;
    for (std::size_t i = 1, end = names[0].size(); i < names.size() && i <= path_.size(); ++i) {
      end += 1 + names[i].size();
      const bool ends_alike = end < common || (end == common && (end == previous_path_.size() ||
                                                                  previous_path_[end] == L'\\'));
      if (!ends_alike) break;
      same_names = i;
    }
    previous_path_.assign(text);

    key_node* key = root_.get();
    for (std::size_t i = 1; i < names.size() && key != nullptr; ++i) {
      const std::wstring_view name = names[i];
      if (i <= same_names) {
        key = path_[i - 1];
        continue;
      }
      fold_name(name, folded_);
      if (i <= path_.size() && path_[i - 1]->name().folded_equals(folded_)) {
        key = path_[i - 1];
        continue;
      }
      if (name.empty()) fail("empty key name");
      if (!netkeep::text::utf16_length_at_most(name, max_key_name_length)) fail("key name longer than 255 characters");
      if (!is_storable_name(name)) fail("key name with characters that cannot be stored");
      path_.resize(i - 1);
      key = deletion ? find_child(*key, folded_) : &child(*key, name, folded_);
      if (key != nullptr) path_.push_back(key);
    }
    current_ = deletion ? nullptr : key;
    if (deletion) {
      path_.clear();
      if (key != nullptr) delete_key(*key);
    }
  }

  // Subkeys are looked up by binary search while their list is in order,
  // as in every file that this registry writes, and by hash once a subkey
  // came out of order.
  key_node* find_child(const key_node& parent, std::u16string_view folded) {
    if (!unordered_.contains(&parent)) {
      key_node* found = parent.children.find(folded);
      return found != nullptr && !found->deleted ? found : nullptr;
    }
    auto found = children_.find({&parent, std::u16string(folded)});
    return found == children_.end() ? nullptr : found->second;
  }

  key_node& child(key_node& parent, std::wstring_view name, std::u16string_view folded) {
    const child_list& siblings = parent.children;
    const bool in_order = siblings.size() == 0 || siblings.at(siblings.size() - 1).name().compare_folded(folded) < 0;
    // A subkey after the last one of a list in order is new: no search.
    if (!in_order || unordered_.contains(&parent)) {
      if (key_node* existing = find_child(parent, folded)) return *existing;
    }
    if (!in_order && unordered_.insert(&parent).second) {
      for (std::size_t i = 0; i < siblings.size(); ++i) {
        key_node& sibling = siblings.at(i);
        if (!sibling.deleted) children_.emplace(child_ref{&parent, sibling.name().folded()}, &sibling);
      }
    }
    key_node& added = parent.children.append_unsorted(
        std::make_unique<key_node>(name, folded, &parent));
    // Once a list came out of order it is looked up by hash only, so every
    // later subkey must be hashed too, in order or not.
    if (unordered_.contains(&parent)) children_.emplace(child_ref{&parent, std::u16string(folded)}, &added);
    return added;
  }

  // Marks the key (the root: its subkeys) deleted; deleted keys are dropped
  // when loading ends, and a later section of the same path starts afresh.
  void delete_key(key_node& key) {
    if (&key != root_.get()) {
      key.deleted = true;
      any_deleted_ = true;
      children_.erase({key.parent(), key.name().folded()});
      return;
    }
    for (std::size_t i = 0; i < key.children.size(); ++i) delete_key(key.children.at(i));
    key.values.clear();
  }

  void read_value(std::wstring_view text) {
    std::wstring& name = name_;
    name.clear();
    if (text.front() == L'@') {
      text.remove_prefix(1);
    } else if (!read_quoted(text, name)) {
      fail("malformed value name");
    }
    if (!netkeep::text::utf16_length_at_most(name, max_value_name_length)) fail("value name too long");
    if (!is_storable_name(name)) fail("value name with characters that cannot be stored");
    text = trim(text);
    if (text.empty() || text.front() != L'=') fail("expected \"=\" after the value name");
    text = trim(text.substr(1));
    if (current_ == nullptr) fail("value outside of a key section");

    fold_name(name, folded_);
    if (text == L"-") {
      current_->values.erase(folded_);
      return;
    }
    std::uint32_t type;
    if (!text.empty() && text.front() == L'"') {
      content_.clear();
      if (!read_quoted(text, content_) || !text.empty()) fail("malformed string value");
      type = reg_sz;
      data_.clear();
      netkeep::text::append_utf16le(data_, content_);
      data_.append(2, '\0');  // the terminating NUL
    } else if (consume_prefix(text, L"dword:")) {
      type = reg_dword;
      read_dword(text, data_);
    } else if (consume_prefix(text, L"hex")) {
      type = read_hex_type(text);
      read_hex_bytes(text, data_);
    } else {
      fail("unrecognized value data");
    }
    current_->set_value(name, folded_, type, data_);
  }

  // Reads a quoted string with the escapes \\ and \" from the front of
  // `text`, leaving what follows the closing quote.
  static bool read_quoted(std::wstring_view& text, std::wstring& out) {
    if (text.empty() || text.front() != L'"') return false;
    // Most texts have no escapes: taken whole.
    std::size_t special = 1;
    while (special < text.size() && text[special] != L'"' && text[special] != L'\\') ++special;
    if (special < text.size() && text[special] == L'"') {
      out.append(text.substr(1, special - 1));
      text.remove_prefix(special + 1);
      return true;
    }
    for (std::size_t i = 1; i < text.size(); ++i) {
      const wchar_t c = text[i];
      if (c == L'"') {
        text.remove_prefix(i + 1);
        return true;
      }
      if (c == L'\\') {
        if (i + 1 == text.size() || (text[i + 1] != L'\\' && text[i + 1] != L'"')) return false;
        ++i;
      }
      out += text[i];
    }
    return false;
  }

  // The data of a dword value, written into `data`.
  void read_dword(std::wstring_view digits, std::string& data) const {
    if (digits.size() != 8) fail("expected eight hex digits after dword:");
    std::uint32_t number = 0;
    for (wchar_t c : digits) {
      const int digit = hex_digit(c);
      if (digit < 0) fail("expected eight hex digits after dword:");
      number = (number << 4) | static_cast<std::uint32_t>(digit);
    }
    data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
  }

  // After "hex": ":" (binary) or "(type):".
  std::uint32_t read_hex_type(std::wstring_view& text) const {
    std::uint32_t type = reg_binary;
    if (!text.empty() && text.front() == L'(') {
      const std::size_t close = text.find(L')');
      if (close == std::wstring_view::npos || close == 1 || close > 9) fail("malformed hex value type");
      type = 0;
      for (wchar_t c : text.substr(1, close - 1)) {
        const int digit = hex_digit(c);
        if (digit < 0) fail("malformed hex value type");
        type = (type << 4) | static_cast<std::uint32_t>(digit);
      }
      text.remove_prefix(close + 1);
    }
    if (text.empty() || text.front() != L':') fail("expected \":\" after hex");
    text.remove_prefix(1);
    return type;
  }

  // A list of two-digit hex bytes separated by commas; a trailing backslash
  // continues the list on the next line. The bytes are written into `data`.
  void read_hex_bytes(std::wstring_view first_line, std::string& data) {
    const std::size_t value_line = lines_.number();
    std::wstring& list = hex_list_;
    list.assign(trim(first_line));
    std::wstring& next = hex_line_;
    while (!list.empty() && list.back() == L'\\') {
      list.pop_back();
      if (!lines_.next(next)) fail("hex value continued past the end of the file");
      list += trim(next);
    }
    data.clear();
    data.reserve(list.size() / 3 + 1);
    std::wstring_view rest = trim(list);
    while (!rest.empty()) {
      const std::size_t comma = rest.find(L',');
      const std::wstring_view item = trim(rest.substr(0, comma));
      const int high = item.size() == 2 ? hex_digit(item[0]) : -1;
      const int low = item.size() == 2 ? hex_digit(item[1]) : -1;
      if (high < 0 || low < 0) fail_at(value_line, "expected two-digit hex bytes separated by commas");
      data += static_cast<char>(high * 16 + low);
      if (comma == std::wstring_view::npos) break;
      rest.remove_prefix(comma + 1);
      if (trim(rest).empty()) fail_at(value_line, "expected a hex byte after \",\"");
    }
  }

  void drop_deleted_and_sort() {
    // Lists that stayed in order and lost no key are final already.
    if (!any_deleted_ && unordered_.empty()) return;
    std::vector<key_node*> pending{root_.get()};
    while (!pending.empty()) {
      key_node* key = pending.back();
      pending.pop_back();
      key->children.sort_dropping_deleted();
      for (std::size_t i = 0; i < key->children.size(); ++i) pending.push_back(&key->children.at(i));
    }
  }

  line_source lines_;
  const std::string& file_name_;
  std::unique_ptr<key_node> root_ = std::make_unique<key_node>();
  // The key that values go to: the last section's, null before the first
  // section and after a deletion.
  key_node* current_ = nullptr;
  // The keys of the last section's path below the root, for reuse.
  std::vector<key_node*> path_;
  const std::u16string root_folded_ = fold_name(root_name);
  std::vector<std::wstring_view> names_;  // of the section being read
  std::wstring previous_path_;            // the text of the last section's path
  // Keys whose subkeys came out of order while loading.
  std::unordered_set<const key_node*> unordered_;
  // The live subkeys of those keys, by parent and folded name.
  std::unordered_map<child_ref, key_node*, child_ref_hash> children_;
  bool any_deleted_ = false;  // some key was marked deleted
  // Buffers of the value or section being read, reused from line to line.
  std::wstring name_;
  std::u16string folded_;
  std::wstring content_;
  std::string data_;
  std::wstring hex_list_;
  std::wstring hex_line_;
};

}  // namespace

std::unique_ptr<key_node> parse_hive(const hive_reader& read, const std::string& file_name) {
  return hive_parser(read, file_name).parse();
}

std::unique_ptr<key_node> parse_hive(std::string_view bytes, const std::string& file_name) {
  const hive_reader read = [&bytes](char* buffer, std::size_t size) {
    const std::size_t taken = bytes.copy(buffer, size);
    bytes.remove_prefix(taken);
    return taken;
  };
  return parse_hive(read, file_name);
}

}  // namespace win32::registry
