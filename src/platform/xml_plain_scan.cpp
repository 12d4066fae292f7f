#include "platform/xml_plain_scan.h"

#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace orv::xml {
namespace {

constexpr qint64 kChunkBytes = 1024 * 1024;
constexpr std::size_t kMostDepth = 256;      // libxml2's own limit
constexpr std::size_t kMostAttributes = 32;  // far more than any store writes

enum class Step { Done, More, Outside };

bool isSpace(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

bool isNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isNameChar(char c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The character of a multi-byte UTF-8 sequence at p is well-formed and one XML 1.0
// allows; its length, or 0.
int utf8Length(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = *p;
  int length = 0;
  char32_t code = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (end - p < length) {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (p[i] & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) {
    return 0;
  }
  return length;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// Whether a byte of w is below n (n at most 0x80), or equals c: the usual word tricks.
constexpr std::uint64_t bytesBelow(std::uint64_t w, std::uint64_t n) {
  return (w - kOnes * n) & ~w & kHighs;
}
constexpr std::uint64_t bytesEqual(std::uint64_t w, unsigned char c) {
  return bytesBelow(w ^ (kOnes * c), 1);
}

struct ValueEnd {
  std::size_t end = std::string_view::npos;  // the closing quote, npos when the data ends first
  bool plain = false;                        // nothing but plain text before it
  bool entities = false;                     // holds "&"
};

// The value from start up to the quote: well-formed UTF-8 of characters XML 1.0 allows,
// without "<"; tab, line feed and carriage return are left to libxml2, which turns them
// into spaces. Eight bytes at a time while they are printable ASCII and none of the four.
ValueEnd valueEnd(std::string_view data, std::size_t start, char quote) {
  const auto* begin = reinterpret_cast<const unsigned char*>(data.data());
  const auto* p = begin + start;
  const auto* end = begin + data.size();
  const auto q = static_cast<unsigned char>(quote);
  ValueEnd found;
  while (p < end) {
    if (end - p >= 8) {
      std::uint64_t w = 0;
      std::memcpy(&w, p, 8);
      if (((w & kHighs) | bytesBelow(w, 0x20) | bytesEqual(w, q) | bytesEqual(w, '<') | bytesEqual(w, '&')) == 0) {
        p += 8;
        continue;
      }
    }
    // A word that needs a look is taken byte by byte, whole, before the next word.
    const auto* stop = end - p >= 8 ? p + 8 : end;
    while (p < stop) {
      const unsigned char c = *p;
      if (c == q) {
        found.end = static_cast<std::size_t>(p - begin);
        found.plain = true;
        return found;
      }
      if (c == '&') {
        found.entities = true;
        ++p;
      } else if (c < 0x20 || c == '<') {
        found.end = data.find(quote, static_cast<std::size_t>(p - begin));
        return found;
      } else if (c < 0x80) {
        ++p;
      } else {
        const int length = utf8Length(p, end);
        if (length == 0) {
          found.end = data.find(quote, static_cast<std::size_t>(p - begin));
          return found;
        }
        p += length;
      }
    }
  }
  return found;
}

class PlainScanner {
 public:
  explicit PlainScanner(StreamHandler& handler) : handler_(handler) {}

  // Scans data from pos: Done at the end of the data, More when a tag goes on beyond it.
  Step scan(std::string_view data, std::size_t& pos, bool atEnd) {
    if (pos == 0 && !declarationChecked_) {
      const Step step = declaration(data, pos, atEnd);
      if (step != Step::Done) {
        return step;
      }
    }
    while (true) {
      while (pos < data.size() && isSpace(data[pos])) {
        ++pos;
      }
      if (pos == data.size()) {
        return Step::Done;
      }
      if (data[pos] != '<' || (rootDone_ && stack_.empty())) {
        return Step::Outside;  // text, or anything after the document element
      }
      const Step step = tag(data, pos);
      if (step != Step::Done) {
        return step;
      }
    }
  }

  bool complete() const { return rootDone_ && stack_.empty(); }
  bool insideRoot() const { return !stack_.empty(); }

 private:
  Step declaration(std::string_view data, std::size_t& pos, bool atEnd) {
    static constexpr std::array<std::string_view, 4> kForms = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                                               "<?xml version='1.0' encoding='UTF-8'?>",
                                                               "<?xml version=\"1.0\"?>", "<?xml version='1.0'?>"};
    if (!data.starts_with("<?")) {
      declarationChecked_ = data.size() >= 2 || atEnd;
      return declarationChecked_ ? Step::Done : Step::More;
    }
    for (const std::string_view form : kForms) {
      if (data.starts_with(form)) {
        pos = form.size();
        declarationChecked_ = true;
        return Step::Done;
      }
    }
    return data.size() < 64 && !atEnd ? Step::More : Step::Outside;
  }

  // A name at pos; empty when there is none there.
  static std::string_view name(std::string_view data, std::size_t& pos) {
    const std::size_t start = pos;
    if (pos < data.size() && isNameStart(data[pos])) {
      ++pos;
      while (pos < data.size() && isNameChar(data[pos])) {
        ++pos;
      }
    }
    return data.substr(start, pos - start);
  }

  // The tag at pos (which holds "<"); pos moves past it only when it is whole.
  Step tag(std::string_view data, std::size_t& pos) {
    std::size_t at = pos + 1;
    if (at >= data.size()) {
      return Step::More;
    }
    if (data[at] == '/') {
      return endTag(data, pos, at + 1);
    }
    const std::string_view element = name(data, at);
    if (element.empty()) {
      return at >= data.size() ? Step::More : Step::Outside;  // "<!", "<?" and the like
    }
    std::size_t count = 0;
    bool empty = false;
    while (true) {
      const std::size_t before = at;
      while (at < data.size() && isSpace(data[at])) {
        ++at;
      }
      if (at >= data.size()) {
        return Step::More;
      }
      if (data[at] == '>') {
        ++at;
        break;
      }
      if (data[at] == '/') {
        if (at + 1 >= data.size()) {
          return Step::More;
        }
        if (data[at + 1] != '>') {
          return Step::Outside;
        }
        at += 2;
        empty = true;
        break;
      }
      if (at == before || count == kMostAttributes) {
        return Step::Outside;  // attributes are apart from the name and from each other
      }
      const Step step = attribute(data, at, count);
      if (step != Step::Done) {
        return step;
      }
      ++count;
    }
    if (rootDone_ && stack_.empty()) {
      return Step::Outside;
    }
    if (stack_.size() == kMostDepth) {
      return Step::Outside;
    }
    const int depth = static_cast<int>(stack_.size());
    handler_.startElement(depth, element, StreamAttributes(attributes_.data(), static_cast<int>(count)));
    if (empty) {
      handler_.endElement(depth, element);
      rootDone_ = rootDone_ || depth == 0;
    } else {
      stack_.emplace_back(element);
    }
    pos = at;
    return Step::Done;
  }

  Step endTag(std::string_view data, std::size_t& pos, std::size_t at) {
    const std::string_view element = name(data, at);
    while (at < data.size() && isSpace(data[at])) {
      ++at;
    }
    if (at >= data.size()) {
      return Step::More;
    }
    if (data[at] != '>' || stack_.empty() || stack_.back() != element) {
      return Step::Outside;
    }
    stack_.pop_back();
    const int depth = static_cast<int>(stack_.size());
    handler_.endElement(depth, element);
    rootDone_ = rootDone_ || depth == 0;
    pos = at + 1;
    return Step::Done;
  }

  // name="value" or name='value' at at, stored as attribute number index.
  Step attribute(std::string_view data, std::size_t& at, std::size_t index) {
    const std::string_view key = name(data, at);
    if (key.empty()) {
      return at >= data.size() ? Step::More : Step::Outside;
    }
    while (at < data.size() && isSpace(data[at])) {
      ++at;
    }
    if (at >= data.size()) {
      return Step::More;
    }
    if (data[at] != '=') {
      return Step::Outside;
    }
    ++at;
    while (at < data.size() && isSpace(data[at])) {
      ++at;
    }
    if (at >= data.size()) {
      return Step::More;
    }
    const char quote = data[at];
    if (quote != '"' && quote != '\'') {
      return Step::Outside;
    }
    const std::size_t start = at + 1;
    const ValueEnd found = valueEnd(data, start, quote);
    if (found.end == std::string_view::npos) {
      return Step::More;  // a multi-byte character cut by the read is looked at again, whole
    }
    if (!found.plain) {
      return Step::Outside;
    }
    const std::size_t close = found.end;
    const std::string_view raw = data.substr(start, close - start);
    for (std::size_t i = 0; i < index; ++i) {
      if (attributes_[i].name == key) {
        return Step::Outside;  // the same attribute twice
      }
    }
    std::string_view value = raw;
    if (found.entities) {
      if (!decode(raw, values_[index])) {
        return Step::Outside;
      }
      value = values_[index];
    }
    attributes_[index] = {key, value};
    at = close + 1;
    return Step::Done;
  }

  // The value with XML's five named entities resolved; false for any other reference.
  static bool decode(std::string_view raw, std::string& out) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities = {
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
    out.clear();
    std::size_t i = 0;
    while (i < raw.size()) {
      if (raw[i] != '&') {
        out += raw[i++];
        continue;
      }
      bool known = false;
      for (const auto& [entity, character] : kEntities) {
        if (raw.substr(i).starts_with(entity)) {
          out += character;
          i += entity.size();
          known = true;
          break;
        }
      }
      if (!known) {
        return false;
      }
    }
    return true;
  }

  StreamHandler& handler_;
  std::vector<std::string> stack_;
  std::array<StreamAttribute, kMostAttributes> attributes_{};
  std::array<std::string, kMostAttributes> values_{};
  bool declarationChecked_ = false;
  bool rootDone_ = false;
};

}  // namespace

PlainScan scanPlainElements(int handle, qint64 size, StreamHandler& handler) {
  PlainScanner scanner(handler);
  std::string data;
  qint64 offset = 0;
  std::size_t pos = 0;
  while (true) {
    const bool atEnd = offset >= size;
    const Step step = scanner.scan(data, pos, atEnd);
    if (step == Step::Outside) {
      return PlainScan::Outside;
    }
    if (atEnd) {
      if (step == Step::Done && scanner.complete()) {
        return PlainScan::Complete;
      }
      // Cut inside the document element: what came before is all libxml2 would tell.
      return scanner.insideRoot() ? PlainScan::Cut : PlainScan::Outside;
    }
    // What is left of the data (a tag cut by the chunk's end) goes before the next chunk.
    data.erase(0, pos);
    pos = 0;
    const std::size_t kept = data.size();
    const qint64 want = std::min(kChunkBytes, size - offset);
    data.resize(kept + static_cast<std::size_t>(want));
    const qint64 read = platform::readFileAt(handle, offset, data.data() + kept, want);
    if (read <= 0) {
      return PlainScan::Outside;
    }
    data.resize(kept + static_cast<std::size_t>(read));
    offset += read;
  }
}

}  // namespace orv::xml
