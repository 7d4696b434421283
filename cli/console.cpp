#include "cli/console.h"

#include <cstdio>
#include <iostream>
#include <streambuf>

#include "platform/text/unicode.h"

namespace netkeep::console {
namespace {

// A wide stream buffer that encodes its characters as UTF-8 onto a C stream.
class utf8_buffer : public std::wstreambuf {
 public:
  explicit utf8_buffer(std::FILE* file) : file_(file) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    wchar_t w = traits_type::to_char_type(c);
    put(std::wstring_view(&w, 1));
    return c;
  }

  std::streamsize xsputn(const wchar_t* s, std::streamsize n) override {
    put(std::wstring_view(s, static_cast<std::size_t>(n)));
    return n;
  }

  int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

 private:
  void put(std::wstring_view text) {
    std::string bytes = text::to_utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
  }

  std::FILE* file_;
};

}  // namespace

void install() {
  static utf8_buffer out(stdout);
  static utf8_buffer err(stderr);
  std::wcout.rdbuf(&out);
  std::wcerr.rdbuf(&err);
}

void write_line(std::wostream& stream, std::wstring_view text) {
  stream << text << L'\n';
  stream.flush();
}

}  // namespace netkeep::console
