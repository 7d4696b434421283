#include "archive/replacement_file.h"

#include <atomic>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace netkeep {
namespace {

long process_id() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<long>(::getpid());
#endif
}

}  // namespace

std::filesystem::path own_file_name(const std::filesystem::path& folder, std::string_view extension) {
  static std::atomic<unsigned> count{0};
  std::string name = "netkeep-" + std::to_string(process_id()) + "-" + std::to_string(count++);
  name += extension;
  return folder / name;
}

replacement_file::replacement_file(std::filesystem::path target) : target_(std::move(target)) {
  temporary_ = own_file_name(target_.parent_path(), ".tmp");
  std::error_code ignored;
  if (std::filesystem::is_directory(target_, ignored)) throw std::runtime_error("failed to open file");
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!out_) throw std::runtime_error("failed to open file");
}

replacement_file::~replacement_file() {
  if (committed_) return;
  out_.close();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void replacement_file::finish(const char* close_failure) {
  if (finished_) return;
  out_.close();
  if (!out_) throw std::runtime_error(close_failure);
  finished_ = true;
}

void replacement_file::commit(const char* close_failure) {
  finish(close_failure);
  std::filesystem::rename(temporary_, target_);
  committed_ = true;
}

}  // namespace netkeep
