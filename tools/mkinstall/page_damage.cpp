#include "tools/mkinstall/page_damage.h"

#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkinstall {
namespace {

// Bytes of a page that must all be the marker for it to count as one of the
// record's overflow pages (after its 4-byte next-page pointer).
constexpr std::size_t marker_run = 64;

constexpr unsigned char interior_table_page = 0x05;
constexpr unsigned char leaf_table_page = 0x0d;

class database_file {
 public:
  explicit database_file(const std::filesystem::path& path) : path_(path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw std::runtime_error("cannot read " + path.string());
    if (bytes_.size() < 100) throw std::runtime_error(path.string() + " is not a database");
    page_size_ = static_cast<std::size_t>(get16(16));
    if (page_size_ == 1) page_size_ = 65536;
    if (page_size_ < 512 || bytes_.size() % page_size_ != 0) throw std::runtime_error("unexpected page size");
  }

  std::uint32_t page_count() const { return static_cast<std::uint32_t>(bytes_.size() / page_size_); }

  // Offset of a page's first byte, and of its b-tree header (page 1 begins
  // with the file header).
  std::size_t page(std::uint32_t number) const { return (number - 1) * page_size_; }
  std::size_t header(std::uint32_t number) const { return page(number) + (number == 1 ? 100 : 0); }

  unsigned char byte(std::size_t offset) const { return static_cast<unsigned char>(bytes_.at(offset)); }
  std::uint32_t get16(std::size_t offset) const { return (byte(offset) << 8) | byte(offset + 1); }
  std::uint32_t get32(std::size_t offset) const { return (get16(offset) << 16) | get16(offset + 2); }
  void put32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<char>(value >> (24 - 8 * i));
  }
  bool filled_with(std::size_t offset, std::size_t count, char marker) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (bytes_.at(offset + i) != marker) return false;
    }
    return true;
  }

  void save() const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    if (!out) throw std::runtime_error("cannot write " + path_.string());
  }

 private:
  std::filesystem::path path_;
  std::vector<char> bytes_;
  std::size_t page_size_ = 0;
};

}  // namespace

void lose_last_leaf(const std::filesystem::path& database, std::uint32_t root_page, int expected_cells) {
  database_file file(database);
  if (root_page < 1 || root_page > file.page_count()) throw std::runtime_error("no such root page");
  const std::size_t root = file.header(root_page);
  if (file.byte(root) != interior_table_page) throw std::runtime_error("the table's root is not an interior page");
  const std::uint32_t last_leaf = file.get32(root + 8);
  if (last_leaf < 1 || last_leaf > file.page_count()) throw std::runtime_error("the table's last leaf is missing");
  const std::size_t leaf = file.header(last_leaf);
  if (file.byte(leaf) != leaf_table_page || file.get16(leaf + 3) != static_cast<std::uint32_t>(expected_cells)) {
    throw std::runtime_error("the table's last leaf does not hold the expected rows");
  }
  file.put32(root + 8, file.page_count() + 1);
  file.save();
}

void break_overflow_chain(const std::filesystem::path& database, char marker) {
  database_file file(database);
  std::set<std::uint32_t> marked;
  for (std::uint32_t number = 2; number <= file.page_count(); ++number) {
    if (file.filled_with(file.page(number) + 4, marker_run, marker)) marked.insert(number);
  }
  std::set<std::uint32_t> followers;
  for (std::uint32_t number : marked) followers.insert(file.get32(file.page(number)));
  std::vector<std::uint32_t> first;
  for (std::uint32_t number : marked) {
    if (followers.count(number) == 0 && marked.count(file.get32(file.page(number))) != 0) first.push_back(number);
  }
  if (first.size() != 1) throw std::runtime_error("no single overflow chain filled with the marker");
  file.put32(file.page(first.front()), file.page_count() + 1);
  file.save();
}

}  // namespace mkinstall
