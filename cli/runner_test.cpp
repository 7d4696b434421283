#include "cli/runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace netkeep::cli {
namespace {

// Captures what the runner writes to the wide standard error stream.
class captured_error_stream {
 public:
  captured_error_stream() : previous_(std::wcerr.rdbuf(text_.rdbuf())) {}
  ~captured_error_stream() { std::wcerr.rdbuf(previous_); }
  std::wstring text() const { return text_.str(); }

 private:
  std::wostringstream text_;
  std::wstreambuf* previous_;
};

TEST(Runner, QuickWorkOnlyClearsTheLine) {
  captured_error_stream err;
  bool ran = false;
  run_phase(L"reseting: ", [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(err.text(), L"\r" + std::wstring(11, L' ') + L"\r");
}

TEST(Runner, WorkRunsOnAnotherThreadAndItsExceptionIsRethrownAfterClearing) {
  captured_error_stream err;
  std::thread::id worker;
  EXPECT_THROW(run_phase(L"exporting: ",
                         [&] {
                           worker = std::this_thread::get_id();
                           throw std::runtime_error("failed to open file");
                         }),
               std::runtime_error);
  EXPECT_NE(worker, std::this_thread::get_id());
  EXPECT_EQ(err.text(), L"\r" + std::wstring(12, L' ') + L"\r");
}

TEST(Runner, TheSpinnerTurnsWhileTheWorkRuns) {
  captured_error_stream err;
  run_phase(L"analyzing: ", [] { std::this_thread::sleep_for(std::chrono::milliseconds(600)); });
  const std::wstring text = err.text();
  const std::wstring clearing = L"\r" + std::wstring(12, L' ') + L"\r";
  ASSERT_GE(text.size(), clearing.size());
  EXPECT_EQ(text.substr(text.size() - clearing.size()), clearing);
  // The frames come in the order o, O, o, . and repeat.
  const std::wstring frames = text.substr(0, text.size() - clearing.size());
  const wchar_t order[] = L"oOo.";
  std::size_t count = 0;
  for (std::size_t at = frames.find(L"\ranalyzing: "); at != std::wstring::npos;
       at = frames.find(L"\ranalyzing: ", at + 1)) {
    EXPECT_EQ(frames[at + 12], order[count % 4]);
    ++count;
  }
  EXPECT_GE(count, 2u);
}

}  // namespace
}  // namespace netkeep::cli
