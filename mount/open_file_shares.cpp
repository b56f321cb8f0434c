#include "mount/open_file_shares.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include "engine/clock.h"
#include "foundation/log.h"
#include "platform/control_request.h"

namespace tarn {
namespace {

// Of the descriptors, a quarter each: kept for the process itself, kept for
// root's open files, one user's share; the users together hold half.
constexpr uint64_t kQuarters = 4;

}  // namespace

ShareLimits OpenFileSharesFor(uint64_t descriptors) {
  const uint64_t quarter = descriptors / kQuarters;
  return ShareLimits{descriptors - quarter, quarter, quarter};
}

OpenFileShares::Ticket::~Ticket() { giveBack(); }

OpenFileShares::Ticket::Ticket(Ticket&& other) noexcept
    : shares_(std::exchange(other.shares_, nullptr)), uid_(other.uid_) {}

OpenFileShares::Ticket& OpenFileShares::Ticket::operator=(Ticket&& other) noexcept {
  if (this != &other) {
    giveBack();
    shares_ = std::exchange(other.shares_, nullptr);
    uid_ = other.uid_;
  }
  return *this;
}

void OpenFileShares::Ticket::giveBack() {
  if (shares_ != nullptr) shares_->shares_.give(uid_, 1);
  shares_ = nullptr;
}

int OpenFileShares::take(uint32_t uid, Ticket& ticket) {
  ShareRefusal why = ShareRefusal::kUserShare;
  if (shares_.take(uid, 1, &why)) {
    ticket = Ticket();
    ticket.shares_ = this;
    ticket.uid_ = uid;
    return 0;
  }
  const ShareLimits& l = shares_.limits();
  const uint64_t room = uid == UserShares::kRootUid ? l.whole : l.whole - l.rootReserve;
  vx::log::WriteLimited(refusalLog_, "uid " + std::to_string(uid), SteadyNowMs(), vx::log::kWarn, [&] {
    const std::string user = UserText(uid);
    char line[vx::log::kMaxMessage];
    if (why == ShareRefusal::kUserShare) {
      std::snprintf(line, sizeof line,
                    "mount: %s holds %llu open files on the drives, the most one user may; their further opens fail "
                    "with \"too many open files\"",
                    user.c_str(), static_cast<unsigned long long>(l.perUser));
    } else {
      std::snprintf(line, sizeof line,
                    "mount: the open files on the drives are at the bound %s shares with others (%llu); their opens "
                    "fail with \"too many open files in system\"",
                    user.c_str(), static_cast<unsigned long long>(room));
    }
    return std::string(line);
  });
  return why == ShareRefusal::kUserShare ? EMFILE : ENFILE;
}

}  // namespace tarn
