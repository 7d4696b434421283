#include "cli/console.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/text/unicode.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace netkeep::console {
namespace {

constexpr bool wide_is_utf16 = sizeof(wchar_t) == 2;

// A wide stream buffer without a put area: every character or run of
// characters that the stream writes goes straight to the C stream as UTF-8.
// On Windows a console window gets the UTF-16 text itself instead, so that
// it shows every character whatever its code page; files and pipes get
// UTF-8 with bare line feeds, the same bytes as on other platforms.
class console_buffer : public std::wstreambuf {
 public:
  explicit console_buffer(std::FILE* file) : file_(file) {
#ifdef _WIN32
    _setmode(_fileno(file_), _O_BINARY);
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) console_ = handle;
#endif
  }

  ~console_buffer() override {
    if (pending_ != 0) write(std::wstring_view(&pending_, 1));
  }

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
  // Where a wchar_t is one UTF-16 code unit, a character above U+FFFF can
  // arrive in two writes (one code unit each through overflow). Its first
  // half waits here for the second, so that the pair is encoded as the one
  // character it is rather than as two lone surrogates.
  void put(std::wstring_view text) {
    std::wstring joined;
    if (pending_ != 0) {
      joined.reserve(text.size() + 1);
      joined += pending_;
      joined += text;
      text = joined;
      pending_ = 0;
    }
    if (wide_is_utf16 && !text.empty() && text::is_high_surrogate(static_cast<char32_t>(text.back()))) {
      pending_ = text.back();
      text.remove_suffix(1);
    }
    write(text);
  }

  void write(std::wstring_view text) {
    if (text.empty()) return;
#ifdef _WIN32
    if (console_ != nullptr) {
      std::fflush(file_);
      while (!text.empty()) {
        DWORD written = 0;
        if (!WriteConsoleW(console_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written == 0) {
          return;
        }
        text.remove_prefix(written);
      }
      return;
    }
#endif
    std::string bytes = text::to_utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
  }

  std::FILE* file_;
  wchar_t pending_ = 0;
#ifdef _WIN32
  HANDLE console_ = nullptr;
#endif
};

}  // namespace

std::unique_ptr<std::wstreambuf> make_buffer(std::FILE* file) { return std::make_unique<console_buffer>(file); }

void install() {
  // Never destroyed: the standard streams are flushed at exit, after static
  // objects are gone, and must still find their buffers then.
  static std::wstreambuf* const out = make_buffer(stdout).release();
  static std::wstreambuf* const err = make_buffer(stderr).release();
  std::wcout.rdbuf(out);
  std::wcerr.rdbuf(err);
}

void write_line(std::wostream& stream, std::wstring_view text) {
  stream << text << L'\n';
  stream.flush();
}

}  // namespace netkeep::console
