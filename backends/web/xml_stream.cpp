// The incremental XML parser: markup is read only once it is whole, so any
// split of a document into pieces gives the same tree as reading it at once.
#include "backends/web/xml.h"

namespace tarn {
namespace {

constexpr std::string_view kCommentOpen = "<!--";
constexpr std::string_view kCommentClose = "-->";
constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";
constexpr size_t kBomBytes = 3;
constexpr unsigned char kBomLead = 0xEF;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

XmlStreamParser::XmlStreamParser(ChildHandler onChild, size_t maxHeldBytes)
    : onChild_(std::move(onChild)), maxHeld_(maxHeldBytes) {}

XmlStreamParser::~XmlStreamParser() = default;

bool XmlStreamParser::feed(std::string_view piece) {
  if (failed_) return false;
  if (rootDone_) return true;
  std::string_view data = piece;
  if (!pending_.empty()) {
    pending_.append(piece);
    data = pending_;
  }
  size_t pos = 0;
  if (!bomChecked_) {
    const bool maybeBom = !data.empty() && static_cast<unsigned char>(data[0]) == kBomLead;
    if (data.empty() || (maybeBom && data.size() < kBomBytes)) {
      // Nothing was pending, so data is the piece itself.
      if (data.data() != pending_.data()) pending_.assign(piece);
      return true;
    }
    bomChecked_ = true;
    // Only the lead byte is looked at: the two after it are skipped unseen.
    if (maybeBom) pos = kBomBytes;
  }
  bool ok = consume(data, pos);
  if (ok && !rootDone_ && overHeldLimit(data.size(), pos)) {
    ok = false;
    tooLarge_ = true;
  }
  if (!ok) {
    failed_ = true;
    pending_.clear();
    root_.reset();
    child_.reset();
    open_.clear();
    return false;
  }
  consumedBefore_ += pos;
  if (rootDone_) {
    pending_.clear();
    pending_.shrink_to_fit();
  } else if (data.data() == pending_.data()) {
    pending_.erase(0, pos);
  } else {
    pending_.assign(data.substr(pos));
  }
  return true;
}

std::unique_ptr<XmlNode> XmlStreamParser::finish() {
  if (failed_ || !rootDone_) return nullptr;
  return std::move(root_);
}

bool XmlStreamParser::overHeldLimit(size_t dataEnd, size_t pos) const {
  if (!onChild_) return false;
  if (child_) return consumedBefore_ + dataEnd - childStart_ > maxHeld_;
  return dataEnd - pos > maxHeld_;
}

XmlNode* XmlStreamParser::textTarget() const {
  if (open_.empty()) return nullptr;
  // With a handler the root's own text is dropped: a reply could hold any
  // amount of it between its entries.
  if (open_.size() == 1 && onChild_) return nullptr;
  return open_.back();
}

bool XmlStreamParser::consume(std::string_view data, size_t& pos) {
  while (!rootDone_) {
    size_t lt = data.find('<', pos);
    XmlNode* target = textTarget();
    if (lt == std::string_view::npos) {
      // Text kept for an element waits for its end, so that a reference
      // split between two pieces is decoded whole; other text goes now.
      if (target == nullptr) pos = data.size();
      return true;
    }
    if (lt > pos && target != nullptr) target->text += DecodeXmlText(data.substr(pos, lt - pos));
    pos = lt;
    Step step = markup(data, pos);
    if (step == Step::kFail) return false;
    if (step == Step::kMore) return true;
  }
  return true;
}

XmlStreamParser::Step XmlStreamParser::markup(std::string_view data, size_t& pos) {
  // A marker cut short by the end of the data holds no '>', so every
  // branch below waits for more.
  std::string_view rest = data.substr(pos);
  if (rest.starts_with(kCommentOpen)) {
    // Searched from the '<' itself, so "<!-->" is a whole comment.
    size_t end = data.find(kCommentClose, pos);
    if (end == std::string_view::npos) return Step::kMore;
    pos = end + kCommentClose.size();
    return Step::kDone;
  }
  if (rest.starts_with(kCdataOpen)) {
    size_t end = data.find(kCdataClose, pos);
    if (end == std::string_view::npos) return Step::kMore;
    // A "]]>" overlapping the opening marker leaves an empty section.
    size_t start = pos + kCdataOpen.size();
    if (XmlNode* target = textTarget(); target != nullptr && end > start)
      target->text.append(data.substr(start, end - start));
    pos = end + kCdataClose.size();
    return Step::kDone;
  }
  if (rest.starts_with("<?") || rest.starts_with("<!")) {
    size_t gt = data.find('>', pos);
    if (gt == std::string_view::npos) return Step::kMore;
    pos = gt + 1;
    return Step::kDone;
  }
  if (rest.starts_with("</")) return endTag(data, pos);
  return startTag(data, pos);
}

XmlStreamParser::Step XmlStreamParser::endTag(std::string_view data, size_t& pos) {
  size_t gt = data.find('>', pos);
  if (gt == std::string_view::npos) return Step::kMore;
  std::string name = XmlLocalName(data.substr(pos + 2, gt - pos - 2));
  while (!name.empty() && IsSpace(name.back())) name.pop_back();
  pos = gt + 1;
  if (open_.empty() || open_.back()->name != name) return Step::kFail;
  XmlNode* node = open_.back();
  open_.pop_back();
  return ended(node, pos);
}

XmlStreamParser::Step XmlStreamParser::startTag(std::string_view data, size_t& pos) {
  const size_t lt = pos;
  size_t i = lt + 1;
  while (i < data.size() && !IsSpace(data[i]) && data[i] != '>' && data[i] != '/') ++i;
  if (i >= data.size()) return Step::kMore;
  std::string name = XmlLocalName(data.substr(lt + 1, i - lt - 1));
  bool empty = false;
  for (;;) {
    if (i >= data.size()) return Step::kMore;
    char ch = data[i];
    if (ch == '"' || ch == '\'') {
      size_t q = data.find(ch, i + 1);
      if (q == std::string_view::npos) return Step::kMore;
      i = q + 1;
      continue;
    }
    if (ch == '/') {
      if (i + 1 >= data.size()) return Step::kMore;
      if (data[i + 1] == '>') {
        empty = true;
        i += 2;
        break;
      }
    } else if (ch == '>') {
      ++i;
      break;
    }
    ++i;
  }
  pos = i;
  if (!empty && open_.size() + 1 > kMaxXmlDepth) return Step::kFail;

  auto node = std::make_unique<XmlNode>();
  node->name = std::move(name);
  XmlNode* raw = node.get();
  if (open_.empty()) {
    root_ = std::move(node);
  } else if (open_.size() == 1 && onChild_) {
    child_ = std::move(node);
    childStart_ = consumedBefore_ + lt;
  } else {
    open_.back()->children.push_back(std::move(node));
  }
  if (empty) return ended(raw, pos);
  open_.push_back(raw);
  return Step::kDone;
}

XmlStreamParser::Step XmlStreamParser::ended(XmlNode* node, size_t endPos) {
  if (node == root_.get()) {
    rootDone_ = true;
    return Step::kDone;
  }
  if (child_ && node == child_.get()) {
    if (consumedBefore_ + endPos - childStart_ > maxHeld_) {
      tooLarge_ = true;
      return Step::kFail;
    }
    const bool keepGoing = onChild_(*child_);
    child_.reset();
    return keepGoing ? Step::kDone : Step::kFail;
  }
  return Step::kDone;
}

std::unique_ptr<XmlNode> ParseXml(std::string_view document) {
  XmlStreamParser parser;
  parser.feed(document);
  return parser.finish();
}

}  // namespace tarn
