#include "report/id_text_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text/unicode.h"

namespace netkeep {
namespace {

// Every text kept stays what was appended while the pool grows: texts
// around the ends of blocks, empty ones, texts of exactly a block and
// longer than one (followed by short ones, whose offsets must not fall in
// the blocks that a long text spans), wide texts with characters beyond
// the basic plane.
TEST(Utf16Pool, KeepsEveryTextAsAppendedAcrossBlocks) {
  constexpr std::size_t block = utf16_pool::block_units;
  std::mt19937 random(7);
  std::vector<std::u16string> appended;
  std::vector<utf16_pool::span> spans;
  utf16_pool pool;
  const auto add = [&](std::u16string text) {
    spans.push_back(pool.append(std::u16string_view(text)));
    appended.push_back(std::move(text));
  };
  const auto add_wide = [&](const std::wstring& text) {
    spans.push_back(pool.append(std::wstring_view(text)));
    appended.push_back(text::to_utf16(text));
  };
  add(u"");
  add(u"first");
  for (int i = 0; i < 3000; ++i) {
    add(std::u16string(random() % 1500, static_cast<char16_t>(u'a' + i % 26)));
    if (i % 500 == 0) add(u"");
    if (i % 700 == 0) add_wide(L"moniker-" + std::to_wstring(i) + text::from_utf16(u"\U0001F600\u00E9"));
  }
  add(std::u16string(block, u'x'));
  add(u"after a whole block");
  add(std::u16string(block + 1, u'y'));
  add(u"after a long text");
  add_wide(std::wstring(block / 2 + 3, L'z'));  // twice its length is more than a block
  add(u"");
  add(u"last");
  for (std::size_t i = 0; i < appended.size(); ++i) {
    ASSERT_EQ(pool.view(spans[i]), std::u16string_view(appended[i])) << "text " << i;
  }
}

}  // namespace
}  // namespace netkeep
