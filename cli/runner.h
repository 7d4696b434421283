#pragma once
// The background runner: a command's long work runs on a worker thread while
// the main thread turns a spinner on standard error, and the frame that every
// command handler shares.

#include <functional>
#include <string>

namespace netkeep::cli {

// Runs `work` at once on a worker thread. Every 125 milliseconds that it is
// still running, redraws "\r" + verb + one of ".oOo" on standard error; when
// it has finished, clears the line ("\r", verb length + 1 blanks, "\r"), then
// returns, or rethrows on this thread the exception that the work raised.
void run_phase(const std::wstring& verb, const std::function<void()>& work);

// The command handler frame: locates the installation; for commands that
// need a file name, throws std::runtime_error("expected filename") when no
// word follows the command word; calls `body` with the first word (empty for
// the other commands); when the body returned, writes the registry back;
// and, whether it returned or threw, closes the installation key, so that a
// command that failed half-way writes back nothing of its own.
void run_handler(int count, wchar_t** words, bool needs_file_name,
                 const std::function<void(const std::wstring& file_name)>& body);

}  // namespace netkeep::cli
