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

// Starts `body` in a child process, whose exit status is `body`'s result
// (99 for an exception); finish_child waits for it (-1: no normal exit).
pid_t start_child(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  int status = 99;
  try {
    status = body();
  } catch (...) {
  }
  ::_exit(status);
}

int finish_child(pid_t child) {
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

TEST_F(registry_session, DiscardedChangesAreNeverWritten) {
  write_file(header + "[HKEY_LOCAL_MACHINE\\Software]\n\"kept\"=\"1\"\n\n");
  const std::string before = read_file();
  key_handle key = open_key(local_machine(), L"Software", generic_all);
  set_text(key.get(), L"kept", L"2");
  create_key(key.get(), L"Added");
  discard_changes(key.get());
  // Nor are changes made after the discard, and a flush says so.
  set_text(key.get(), L"later", L"3");
  EXPECT_THROW(flush_key(key.get()), std::runtime_error);
  // Resetting a handle to the key it holds keeps it open.
  key.reset(key.get());
  EXPECT_NO_THROW(query_value(key.get(), L"later", nullptr, 0));
  key.reset();
  EXPECT_EQ(read_file(), before);

  // The next session writes back as usual.
  key = open_key(local_machine(), L"Software", generic_all);
  set_text(key.get(), L"kept", L"4");
  key.reset();
  EXPECT_NE(read_file().find("\"kept\"=\"4\""), std::string::npos);
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
  EXPECT_EQ(inode_of(file), before);

  // flush_key writes at once, while the key stays open.
  set(first.get(), L"n", reg_dword, std::string("\x10\0\0\0", 4));
  flush_key(first.get());
  EXPECT_EQ(read_file(), header + "[HKEY_LOCAL_MACHINE\\Other]\n\"n\"=dword:00000010\n\n");
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
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
  const pid_t child = start_child([this] {
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
  EXPECT_EQ(finish_child(child), 0);
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
  // The child opens the hive only once the parent's session holds the lock.
  const pid_t child = start_child([&] {
    char byte;
    if (::read(ready[0], &byte, 1) != 1) return 1;
    key_handle key = open_key(local_machine(), L"Shared", generic_all);
    if (error_of([&] { query(key.get(), L"first"); }) != error_success) return 2;
    set_text(key.get(), L"second", L"child");
    return 0;
  });
  {
    key_handle key = open_key(local_machine(), L"Shared", generic_all);
    EXPECT_EQ(::write(ready[1], "x", 1), 1);
    ::usleep(200 * 1000);  // the child is now blocked on the lock
    set_text(key.get(), L"first", L"parent");
  }
  EXPECT_EQ(finish_child(child), 0);
  ::close(ready[0]);
  ::close(ready[1]);
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
