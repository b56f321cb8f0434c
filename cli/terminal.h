// The console's dealings with the user's terminal: asking for a secret
// without showing it, and a progress line while a long request runs. Used by
// the console commands on the main thread; the progress line keeps one
// thread of its own while it is shown.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tarn::app {

// Where a secret may come from instead of the terminal.
inline constexpr const char* kPasswordVariable = "TARN_PASSWORD";

// Text from the service (a log, a file name, a server's message) as it may
// be printed: line ends kept, every other control character escaped, so that
// nothing in it can move the cursor or rewrite the screen.
std::string Printable(std::string_view text);

// Reads one line from the controlling terminal with echo off. False when
// there is no terminal.
bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret);

// Shows "label ..." with a turning mark on stderr while it lives, when
// stderr is a terminal; nothing otherwise.
class ProgressLine {
 public:
  explicit ProgressLine(std::string label);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Shown from the next turn of the mark on.
  void setLabel(std::string label);

 private:
  void show(size_t step);
  void run();

  std::mutex mu_;
  std::condition_variable cv_;
  std::string label_;  // guarded by mu_
  bool done_ = false;  // guarded by mu_
  std::thread thread_;
};

}  // namespace tarn::app
