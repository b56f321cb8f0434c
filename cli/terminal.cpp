#include "cli/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "foundation/file_util.h"
#include "foundation/text.h"

namespace tarn::app {
namespace {

constexpr const char* kTerminal = "/dev/tty";
constexpr const char kSpinner[] = {'|', '/', '-', '\\'};
constexpr uint32_t kSpinnerStepMs = 250;
constexpr size_t kMaxSecretBytes = 65536;

void WriteText(int fd, const std::string& text) { vx::WriteAll(fd, text.data(), text.size()); }

}  // namespace

std::string Printable(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    // The service log ends its lines with CR LF.
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  return vx::EscapeControls(lines, "\n\t");
}

bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret) {
  vx::UniqueFd tty(::open(kTerminal, O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (!tty.valid()) return false;
  termios saved{};
  if (::tcgetattr(tty.get(), &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  WriteText(tty.get(), prompt);
  if (::tcsetattr(tty.get(), TCSAFLUSH, &quiet) != 0) return false;
  std::string line;
  bool ok = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(tty.get(), &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c == '\n' || c == '\r') {
      ok = true;
      break;
    }
    if (line.size() < kMaxSecretBytes) line.push_back(c);
  }
  ::tcsetattr(tty.get(), TCSAFLUSH, &saved);
  if (ok) secret = line;
  vx::SecureWipe(line);
  return ok;
}

ProgressLine::ProgressLine(std::string label) : label_(std::move(label)) {
  if (::isatty(STDERR_FILENO) != 1) return;
  // The first frame at once: a request that ends quickly still shows what
  // it was doing.
  show(0);
  thread_ = std::thread([this] { run(); });
}

ProgressLine::~ProgressLine() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    done_ = true;
  }
  cv_.notify_all();
  thread_.join();
  std::fputs("\r\033[K", stderr);
}

void ProgressLine::setLabel(std::string label) {
  std::lock_guard<std::mutex> lock(mu_);
  label_ = std::move(label);
}

// Called before the thread starts or with mu_ held.
void ProgressLine::show(size_t step) {
  // The label may have become shorter than what it replaces.
  std::fprintf(stderr, "\r\033[K%s %c", label_.c_str(), kSpinner[step % sizeof(kSpinner)]);
  std::fflush(stderr);
}

void ProgressLine::run() {
  std::unique_lock<std::mutex> lock(mu_);
  for (size_t step = 1; !cv_.wait_for(lock, std::chrono::milliseconds(kSpinnerStepMs), [&] { return done_; });
       ++step)
    show(step);
}

}  // namespace tarn::app
