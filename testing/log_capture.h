// Points the process log at a fresh file in a temporary folder so that a
// test can read the lines the code under test wrote. One at a time per test
// process (the log is process-wide); DEBUG lines are switched on for the rest
// of the process. Any thread may read it.
#pragma once

#include <string>

namespace tarn::test {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything written since construction.
  std::string text() const;
  // How many lines hold `fragment`.
  int countLines(const std::string& fragment) const;

 private:
  std::string dir_;
  std::string file_;
};

}  // namespace tarn::test
