#pragma once
// Where the names and data of a key tree (registry_tree.h) live: one
// hive_storage per tree, holding compact, immutable records in large blocks
// that are all freed together. A large hive is so built and freed without an
// allocation per name or value, and held in little memory:
//
// - A name keeps one byte per character when every character is below
//   U+0100, else its wchar_t characters exactly as given (lone surrogates
//   included). Its folded form (registry_names.h) is kept beside it only
//   when it differs from the name, again one byte per unit when it can.
// - Names that recur (the same subkey name under every site, the same value
//   names in many keys) are mostly stored once: a small cache of recently
//   stored names hands out the record already made.
// - A value is one record: its name, type, size and data bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace win32::registry {

namespace detail {
struct name_record;
}  // namespace detail

// A name in a storage, with its folded form: the size of a pointer, valid
// while the storage lives. A default one is the empty name.
class stored_name {
 public:
  stored_name() = default;

  // Characters of the name (wchar_t units), and UTF-16 units of the folded
  // form, which are as many as the name has in UTF-16.
  std::size_t size() const;
  bool empty() const { return size() == 0; }
  std::size_t folded_size() const;

  wchar_t at(std::size_t index) const;
  std::wstring str() const;
  void copy_to(std::wstring& out) const;
  // The name's characters when each fits a byte (null otherwise).
  const unsigned char* narrow() const;

  std::u16string folded() const;
  // Orders by folded form as u16string_view's operator< does.
  int compare_folded(std::u16string_view folded) const;
  int compare_folded(const stored_name& other) const;
  bool folded_equals(std::u16string_view folded) const;
  // Equal for equal folded forms, however either is held.
  std::size_t folded_hash() const;
  static std::size_t folded_hash(std::u16string_view folded);

 private:
  friend class hive_storage;
  explicit stored_name(const detail::name_record* record) : record_(record) {}
  const detail::name_record* record_ = nullptr;
};

// A value of a key: name, type and data, in its tree's storage. Replacing a
// value's data makes a new record.
class value_entry {
 public:
  stored_name name() const { return name_; }
  std::uint32_t type() const { return type_; }
  std::string_view data() const { return {reinterpret_cast<const char*>(this + 1), size_}; }

 private:
  friend class hive_storage;
  value_entry(stored_name name, std::uint32_t type, std::uint32_t size) : name_(name), type_(type), size_(size) {}
  stored_name name_;
  std::uint32_t type_;
  std::uint32_t size_;
};

// Holds the records of one tree. Nothing is freed before the storage ends:
// data replaced during a session stay until the session's tree is dropped.
// Counted references keep it alive (see key_node); they are taken and given
// up under the tree's lock, like every other change of the tree.
class hive_storage {
 public:
  // A new storage with one reference, for the caller to give up.
  static hive_storage* create();
  void add_reference() { ++references_; }
  void release();  // deletes the storage with its last reference

  hive_storage(const hive_storage&) = delete;
  hive_storage& operator=(const hive_storage&) = delete;

  // `folded` must be fold_name(name); the name may be at most 65535
  // characters long (std::length_error otherwise).
  stored_name store_name(std::wstring_view name, std::u16string_view folded);
  // A value of that name; its data may be at most 4 GiB - 1 long.
  const value_entry* store_value(stored_name name, std::uint32_t type, std::string_view data);

 private:
  hive_storage();
  ~hive_storage();

  static constexpr std::size_t block_bytes = 64 * 1024;  // the first block
  static constexpr std::size_t recent_slots = 4096;  // a power of two

  void* allocate(std::size_t bytes, std::size_t alignment);
  stored_name make_name(std::wstring_view name, std::u16string_view folded);

  std::size_t references_ = 1;
  struct block {
    unsigned char* start;
    std::size_t size;
  };
  std::vector<block> blocks_;
  std::vector<std::unique_ptr<unsigned char[]>> large_;  // one piece each
  unsigned char* next_ = nullptr;                         // free room in the last block
  std::size_t left_ = 0;
  // Names stored lately, by a hash of their characters; made on first use.
  std::unique_ptr<const detail::name_record*[]> recent_;
};

}  // namespace win32::registry
