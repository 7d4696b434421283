// The command line end to end: usage, help, version, unknown commands and
// the error line, run against the built program.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32/error.h"
#include "tests/support/process.h"
#include "tests/support/target.h"
#include "tests/support/test_installation.h"

namespace netkeep::testing {
namespace {

const std::string usage_text =
    "usage:\n"
    "    netkeep <command> <options>\n"
    "\n"
    "where command is:\n"
    "\n"
    "  version\n"
    "    Display version information for this program.\n"
    "\n"
    "  verify\n"
    "    Generate a report of any problems detected in the Orbenta database.\n"
    "\n"
    "  repair\n"
    "    Repair any detected problems with the Orbenta database.\n"
    "\n"
    "  reset\n"
    "    Reset the Orbenta database to a newly installed state.\n"
    "\n"
    "  export\n"
    "    Export the Orbenta database to a file.\n"
    "\n"
    "  import\n"
    "    Import the Orbenta database for a file that was previously exported.\n";

class CommandLine : public ::testing::Test {
 protected:
  test_installation installation;
};

TEST_F(CommandLine, NoCommandOrHelpAlonePrintsUsage) {
  for (const std::vector<std::string>& words : {std::vector<std::string>{}, std::vector<std::string>{"help"}}) {
    run_result r = installation.run(words);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, usage_text);
    EXPECT_EQ(r.status, 0);
  }
}

TEST_F(CommandLine, HelpForACommand) {
  run_result verify = installation.run({"help", "verify"});
  EXPECT_EQ(verify.err,
            "Generate a report of any problems detected in the Orbenta database.\n\nusage:\n  netkeep verify\n");
  EXPECT_EQ(verify.status, 0);

  run_result export_help = installation.run({"help", "export", "more", "words"});
  EXPECT_EQ(export_help.err, "Export the Orbenta database to a file.\n\nusage:\n  netkeep export <filename>\n");
  EXPECT_EQ(export_help.out, "");
}

TEST_F(CommandLine, UnknownWordsAreErrorsWithStatusOne) {
  run_result capitals = installation.run({"VERIFY"});
  EXPECT_EQ(capitals.err, "An error occurred: Unrecognized command 'VERIFY'.\n");
  EXPECT_EQ(capitals.out, "");
  EXPECT_EQ(capitals.status, 1);

  run_result help_help = installation.run({"help", "help"});
  EXPECT_EQ(help_help.err, "An error occurred: Unrecognized command 'help'.\n");
  EXPECT_EQ(help_help.status, 1);

  run_result non_ascii = installation.run({"v\xc3\xa9rify"});
  EXPECT_EQ(non_ascii.err, "An error occurred: Unrecognized command 'v\xc3\xa9rify'.\n");
}

TEST_F(CommandLine, VersionPrintsTheBannerWithoutAnInstallation) {
  std::filesystem::remove(installation.hive_file());
  run_result r = installation.run({"version", "extra"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
  EXPECT_EQ(r.out.substr(0, 22), "Orbenta Database Tool\n");
  EXPECT_EQ(r.out.substr(r.out.size() - 12), "3.16.4.1526\n");
}

TEST_F(CommandLine, AResultThatCannotBeWrittenFailsTheCommand) {
  SKIP_ON_WINDOWS_TARGET("standard output on /dev/full");
  run_result r = run_process({"/bin/sh", "-c", "exec \"$0\" version >/dev/full", NETKEEP_BINARY}, installation.root());
  EXPECT_EQ(r.err, "An error occurred: failed to write the results to standard output\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(CommandLine, EveryOtherCommandNeedsTheInstallation) {
  std::filesystem::remove(installation.hive_file());
  for (const char* command : {"verify", "repair", "reset", "export", "import"}) {
    run_result r = installation.run({command});
    EXPECT_EQ(r.err, "An error occurred: Orbenta installation not found.\n") << command;
    EXPECT_EQ(r.out, "") << command;
    EXPECT_EQ(r.status, 1) << command;
  }
}

TEST_F(CommandLine, AHiveWithoutTheInstallationKeyIsNoInstallation) {
  write_file(installation.hive_file(),
             "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvanta\\Orbenta]\n");
  run_result r = installation.run({"verify"});
  EXPECT_EQ(r.err, "An error occurred: Orbenta installation not found.\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(CommandLine, FileCommandsNeedAFileNameAfterTheInstallation) {
  for (const char* command : {"export", "import"}) {
    run_result r = installation.run({command});
    EXPECT_EQ(r.err, "An error occurred: expected filename\n") << command;
    EXPECT_EQ(r.status, 1);
  }
}

TEST_F(CommandLine, InstallationValuesMustBeReadable) {
  // "version" of 32 wide characters does not fit its 64-byte buffer.
  std::string text = "Windows Registry Editor Version 5.00\n\n" + section("") + "\n\"path\"=\"" +
                     reg_escape(installation.install_path()) + "\"\n\"version\"=\"" + std::string(32, '9') +
                     "\"\n";
  write_file(installation.hive_file(), text);
  run_result too_long = installation.run({"verify"});
  EXPECT_EQ(too_long.err, "An error occurred: " + system_message(win32::error_more_data) + "\n");
  EXPECT_EQ(too_long.status, 1);

  write_file(installation.hive_file(), "Windows Registry Editor Version 5.00\n\n" + section("") + "\n\"version\"=\"3\"\n");
  run_result missing = installation.run({"verify"});
  EXPECT_EQ(missing.err, "An error occurred: " + system_message(win32::error_file_not_found) + "\n");
  EXPECT_EQ(missing.status, 1);
}

// An empty or relative "path" stops every command before anything is read
// or changed (an empty one made the data folder /data).
TEST(InstallationPath, AnEmptyOrRelativePathIsRefused) {
  SKIP_ON_WINDOWS_TARGET("the hive file is written directly");
  test_installation installation;
  installation.create_databases();
  for (const std::string path : {"", "relative/install"}) {
    std::string text = installation.registry_text();
    const std::string line = "\"path\"=\"" + reg_escape(installation.install_path()) + "\"";
    ASSERT_NE(text.find(line), std::string::npos);
    text.replace(text.find(line), line.size(), "\"path\"=\"" + path + "\"");
    write_file(installation.hive_file(), text);
    for (const char* command : {"verify", "reset", "export"}) {
      // (`verify` with a word verifies that archive instead.)
      run_result r = installation.run(command == std::string("verify") ? std::vector<std::string>{command}
                                                                        : std::vector<std::string>{command, "out.nka"});
      EXPECT_EQ(r.err, "An error occurred: The installation's \"path\" value is not an absolute path: \"" + path +
                           "\"\n")
          << command;
      EXPECT_EQ(r.status, 1);
    }
    EXPECT_TRUE(std::filesystem::exists(installation.database("Network.db")));
    EXPECT_EQ(installation.registry_text(), text);
    installation.set_registry("");
  }
}

}  // namespace
}  // namespace netkeep::testing
