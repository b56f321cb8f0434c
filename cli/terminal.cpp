#include "cli/terminal.h"

#include <fcntl.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iterator>

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

std::string Printable(std::string_view text) { return vx::EscapeControlLines(text); }

namespace {

// The signals that end the program while a secret is read with echo off:
// each puts the terminal back as it was before it ends the program.
constexpr int kEndingSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

// Set while echo is off; read by the signal handler alone.
volatile sig_atomic_t quietTerminal = -1;
termios loudSettings{};

void GiveEchoBack(int signal) {
  if (quietTerminal >= 0) {
    ::tcsetattr(quietTerminal, TCSAFLUSH, &loudSettings);
    // The line the user was typing ends where the program does.
    const char newline = '\n';
    (void)!::write(quietTerminal, &newline, 1);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Reads one line from `fd`, at most kMaxSecretBytes of it. False at the end
// of the input.
bool ReadLine(int fd, std::string& line) {
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n' || c == '\r') return true;
    if (line.size() < kMaxSecretBytes) line.push_back(c);
  }
}

}  // namespace

bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret) {
  vx::UniqueFd tty(::open(kTerminal, O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (!tty.valid()) return false;
  termios saved{};
  if (::tcgetattr(tty.get(), &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  loudSettings = saved;
  struct sigaction giveBack {};
  giveBack.sa_handler = GiveEchoBack;
  sigemptyset(&giveBack.sa_mask);
  struct sigaction before[std::size(kEndingSignals)];
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) ::sigaction(kEndingSignals[i], &giveBack, &before[i]);
  quietTerminal = tty.get();
  // Quiet before the prompt shows: what is typed at once stays unseen.
  bool ok = ::tcsetattr(tty.get(), TCSAFLUSH, &quiet) == 0;
  WriteText(tty.get(), prompt);
  std::string line;
  ok = ok && ReadLine(tty.get(), line);
  ::tcsetattr(tty.get(), TCSAFLUSH, &saved);
  quietTerminal = -1;
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) ::sigaction(kEndingSignals[i], &before[i], nullptr);
  if (ok) secret = line;
  vx::SecureWipe(line);
  return ok;
}

bool AskOnTerminal(const std::string& question, bool& yes) {
  vx::UniqueFd tty(::open(kTerminal, O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (!tty.valid()) return false;
  WriteText(tty.get(), question);
  std::string answer;
  if (!ReadLine(tty.get(), answer)) return false;
  answer = vx::Trim(answer);
  for (char& c : answer) c = static_cast<char>(c | 0x20);
  yes = answer == "y" || answer == "yes";
  return true;
}

InterruptWatch::InterruptWatch() {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  ::pthread_sigmask(SIG_BLOCK, &interrupt, &before_);
}

InterruptWatch::~InterruptWatch() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

bool InterruptWatch::pause(uint32_t ms) {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  const timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  // Another signal handled meanwhile cuts the wait short: the caller looks
  // again a little early.
  return ::sigtimedwait(&interrupt, nullptr, &wait) == SIGINT;
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
