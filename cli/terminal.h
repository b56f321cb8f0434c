// The console's dealings with the user's terminal: asking for a secret
// without showing it, and a progress line while a long request runs. Used by
// the console commands on the main thread; the progress line keeps one
// thread of its own while it is shown.
#pragma once

#include <signal.h>

#include <condition_variable>
#include <cstdint>
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
// there is no terminal. A signal that ends the program meanwhile (Ctrl+C)
// gives the terminal its echo back first.
bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret);

// Asks a question on the controlling terminal and reads the answer: `yes`
// for "y" or "yes", in any case. False when there is no terminal.
bool AskOnTerminal(const std::string& question, bool& yes);

// Holds Ctrl+C (SIGINT) back while it lives, so that a command following
// work of the service can say, when the user presses it, that the work goes
// on. Made on the main thread before any other thread of the command starts
// (threads inherit what it holds back); an interrupt that came and was not
// taken by pause ends the program as usual when it goes.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Waits up to `ms`; true when Ctrl+C came meanwhile (or before).
  bool pause(uint32_t ms);

 private:
  sigset_t before_;
};

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
