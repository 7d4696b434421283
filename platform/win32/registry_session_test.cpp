// Sessions of the file-backed registry: loading, write-back, atomic
// replacement and the lock between processes.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/win32/registry.h"
#include "platform/win32/registry_test_support.h"

namespace win32::registry::testing {
namespace {

using registry_session = temporary_hive;

const std::string header = "Windows Registry Editor Version 5.00\n\n";

// Runs `body` in a child process and returns its exit status (-1 when it did
// not exit normally).
int run_in_child(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    int status = 99;
    try {
      status = body();
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ino_t inode_of(const std::filesystem::path& file) {
  struct stat status {};
  ::stat(file.c_str(), &status);
  return status.st_ino;
}

TEST_F(registry_session, MissingFileIsAnEmptyRegistry) {
  EXPECT_EQ(error_of([] { open_key(local_machine(), L"Software", generic_all); }), error_file_not_found);
  std::wstring name;
  EXPECT_EQ(enum_key(local_machine(), 0, name, 100), error_no_more_items);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(registry_session, ChangesAreWrittenWhenTheLastKeyCloses) {
  key_handle first = create_key(local_machine(), L"Software\\Corvanta");
  {
    key_handle second = open_key(first.get(), L"", generic_all);
    set_text(second.get(), L"path", L"/opt");
  }
  EXPECT_FALSE(std::filesystem::exists(file));
  first.reset();
  EXPECT_EQ(read_file(), header +
                             "[HKEY_LOCAL_MACHINE\\Software]\n\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Corvanta]\n\"path\"=\"/opt\"\n\n");
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));

  // The next session reads the file again; one without changes leaves it be.
  write_file(header + "[HKEY_LOCAL_MACHINE\\Other]\n");
  const ino_t before = inode_of(file);
  first = open_key(local_machine(), L"Other", generic_all);
  EXPECT_EQ(error_of([] { open_key(local_machine(), L"Software", generic_read); }), error_file_not_found);
  flush_key(first.get());
  first.reset();
  EXPECT_EQ(inode_of(file), before);
}

TEST_F(registry_session, FlushWritesBackAtOnce) {
  key_handle key = make_key(local_machine(), L"Flushed");
  set(key.get(), L"n", reg_dword, std::string("\x10\0\0\0", 4));
  flush_key(key.get());
  EXPECT_EQ(read_file(), header + "[HKEY_LOCAL_MACHINE\\Flushed]\n\"n\"=dword:00000010\n\n");
  delete_value(key.get(), L"n");
  key.reset();
  EXPECT_EQ(read_file(), header + "[HKEY_LOCAL_MACHINE\\Flushed]\n\n");
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(registry_session, EveryValueRoundTripsThroughTheFile) {
  const std::vector<std::pair<std::wstring, std::pair<std::uint32_t, std::string>>> cases = {
      {L"", {reg_sz, sz(L"default")}},
      {L"text", {reg_sz, sz(L"C:\\Program Files\\\"x\" \u00e9\u4e2d\U0001F600")}},
      {L"unterminated", {reg_sz, std::string("a\0b\0", 4)}},
      {L"two strings", {reg_sz, std::string("a\0\0\0b\0\0\0", 8)}},
      {L"empty", {reg_sz, ""}},
      {L"dword", {reg_dword, std::string("\x78\x56\x34\x12", 4)}},
      {L"qword", {reg_qword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
      {L"multi", {reg_multi_sz, sz(L"one") + sz(L"two") + std::string(2, '\0')}},
      {L"expand", {reg_expand_sz, sz(L"%SystemRoot%")}},
      {L"binary", {reg_binary, std::string("\0\xff\x7f", 3)}},
      {L"none", {reg_none, ""}},
      {L"long", {reg_binary, std::string(1000, '\x5a')}},
      {L"n\u00e4me \"with\" \\quotes\\ @", {reg_sz, sz(L"=")}},
      {L"@", {reg_dword, std::string("\1\2\3", 3)}},
  };
  {
    key_handle key = make_key(local_machine(), L"R\u00f6und\\Tr\u00efp");
    make_key(key.get(), L"empty key [x]");
    for (const auto& [name, value] : cases) set(key.get(), name, value.first, value.second);
  }
  key_handle key = open_key(local_machine(), L"R\u00d6UND\\tr\u00efp", generic_read);
  for (const auto& [name, value] : cases) {
    std::uint32_t type = 0;
    EXPECT_EQ(query(key.get(), name, &type), value.second) << netkeep::text::to_utf8(name);
    EXPECT_EQ(type, value.first) << netkeep::text::to_utf8(name);
  }
  EXPECT_EQ(values(key.get()),
            " text unterminated two strings empty dword qword multi expand binary none long "
            "n\xc3\xa4me \"with\" \\quotes\\ @ @ ");
  EXPECT_EQ(subkeys(key.get()), "empty key [x] ");
}

TEST_F(registry_session, MalformedFileIsAnErrorAndStaysUntouched) {
  const std::string bad = header + "[HKEY_LOCAL_MACHINE\\Software]\nnot a value\n";
  write_file(bad);
  try {
    open_key(local_machine(), L"Software", generic_all);
    ADD_FAILURE() << "a malformed file was accepted";
  } catch (const error& failure) {
    ADD_FAILURE() << "a malformed file must not look like a missing key: " << failure.what();
  } catch (const std::runtime_error& failure) {
    EXPECT_EQ(failure.what(), file.string() + ":4: expected a value or a section");
  }
  EXPECT_EQ(read_file(), bad);

  // Nothing of the failed session is left behind.
  write_file(header + "[HKEY_LOCAL_MACHINE\\Software]\n");
  EXPECT_EQ(error_of([] { open_key(local_machine(), L"Software", generic_all); }), error_success);
}

TEST_F(registry_session, FailedWriteBackKeepsTheFile) {
  const std::string original = header + "[HKEY_LOCAL_MACHINE\\Kept]\n\"v\"=\"1\"\n\n";
  write_file(original);
  // A file size limit makes every write of a larger file fail, even for root.
  const int status = run_in_child([this] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{512, 512};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    key_handle key = open_key(local_machine(), L"Kept", generic_all);
    set(key.get(), L"big", reg_binary, std::string(4096, 'x'));
    try {
      flush_key(key.get());
      return 1;
    } catch (const error&) {
      return 2;
    } catch (const std::runtime_error& failure) {
      if (std::string(failure.what()).find(file.string()) == std::string::npos) return 3;
    }
    key.reset();  // the last close fails again, silently
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(read_file(), original);
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(registry_session, ReadOnlyFolderCanBeReadButNotWritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  const std::string original = header + "[HKEY_LOCAL_MACHINE\\Kept]\n\"v\"=\"1\"\n\n";
  write_file(original);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  key_handle key = open_key(local_machine(), L"Kept", generic_all);
  EXPECT_EQ(query(key.get(), L"v"), sz(L"1"));
  set_text(key.get(), L"v", L"2");
  EXPECT_THROW(flush_key(key.get()), std::runtime_error);
  key.reset();
  EXPECT_EQ(read_file(), original);
  EXPECT_EQ(folder_entries(), std::vector<std::string>{"registry.reg"});
}

TEST_F(registry_session, SecondProcessWaitsForTheFirstSession) {
  make_key(local_machine(), L"Shared");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // Opens the hive only once the parent's session holds the lock.
    char byte;
    int status = ::read(ready[0], &byte, 1) == 1 ? 0 : 10;
    try {
      key_handle key = open_key(local_machine(), L"Shared", generic_all);
      if (error_of([&] { query(key.get(), L"first"); }) != error_success) status = 11;
      set_text(key.get(), L"second", L"child");
    } catch (...) {
      status = 12;
    }
    ::_exit(status);
  }
  {
    key_handle key = open_key(local_machine(), L"Shared", generic_all);
    ASSERT_EQ(::write(ready[1], "x", 1), 1);
    ::usleep(200 * 1000);  // the child is now blocked on the lock
    set_text(key.get(), L"first", L"parent");
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  key_handle key = open_key(local_machine(), L"Shared", generic_read);
  EXPECT_EQ(values(key.get()), "first second ");
}

TEST_F(registry_session, LargeHiveLoadsAndWritesBack) {
  constexpr int site_count = 100000;
  std::string text = header;
  for (int i = 0; i < site_count; ++i) {
    text += "[HKEY_LOCAL_MACHINE\\Sites\\" + std::to_string(i) + "]\n\"name\"=\"site " + std::to_string(i) +
            "\"\n\"id\"=dword:0000002a\n\"data\"=hex:01,02,03\n\n";
  }
  write_file(text);
  {
    key_handle sites = open_key(local_machine(), L"sites", generic_all);
    std::wstring name;
    EXPECT_EQ(enum_key(sites.get(), site_count - 1, name, 10), error_success);
    EXPECT_EQ(name, L"99999");
    EXPECT_EQ(enum_key(sites.get(), site_count, name, 10), error_no_more_items);
    key_handle site = open_key(sites.get(), L"12345", generic_all);
    EXPECT_EQ(query(site.get(), L"NAME"), sz(L"site 12345"));
    delete_key(sites.get(), L"0");
  }
  {
    key_handle sites = open_key(local_machine(), L"Sites", generic_all);
    std::wstring name;
    EXPECT_EQ(enum_key(sites.get(), 0, name, 10), error_success);
    EXPECT_EQ(name, L"1");
    EXPECT_EQ(enum_key(sites.get(), site_count - 2, name, 10), error_success);
    delete_subkeys(sites.get());
  }
  EXPECT_EQ(read_file(), header + "[HKEY_LOCAL_MACHINE\\Sites]\n\n");
}

}  // namespace
}  // namespace win32::registry::testing

#endif  // _WIN32
