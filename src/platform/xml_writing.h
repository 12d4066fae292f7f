#pragma once

// What the XML and HTML writers of src/platform share; it names libxml2's types.

#include <libxml/tree.h>

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace orv::xml {

// The bytes a writer puts out. QByteArray's own appends cost more than the bytes they copy:
// the bytes are put in place through a cursor, the array growing by doubling.
class ByteSink {
 public:
  // The bytes put so far; the sink is empty after.
  QByteArray take() {
    out_.truncate(cursor_ - begin_);
    begin_ = cursor_ = end_ = nullptr;
    return std::move(out_);
  }

  void put(const char* bytes, std::size_t size) {
    if (static_cast<std::size_t>(end_ - cursor_) < size) {
      grow(size);
    }
    std::memcpy(cursor_, bytes, size);
    cursor_ += size;
  }
  template <std::size_t N>
  void put(const char (&text)[N]) {
    put(text, N - 1);
  }
  void put(char c) { put(&c, 1); }
  void append(const xmlChar* text) {
    put(reinterpret_cast<const char*>(text), std::strlen(reinterpret_cast<const char*>(text)));
  }
  // A processing instruction; XML ends it with "?>", HTML with ">".
  void instruction(const xmlNode* node, const char* end) {
    put("<?");
    append(node->name);
    if (node->content != nullptr) {
      put(' ');
      append(node->content);
    }
    put(end, std::strlen(end));
  }
  void endTag(const xmlNode* element) {
    put("</");
    append(element->name);
    put('>');
  }

 private:
  void grow(std::size_t size) {
    const qsizetype used = cursor_ - begin_;
    out_.resize(std::max<qsizetype>(2 * out_.size(), used + static_cast<qsizetype>(size) + 4096));
    begin_ = out_.data();
    cursor_ = begin_ + used;
    end_ = begin_ + out_.size();
  }

  QByteArray out_;
  char* begin_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
};

// What a visit of a node asks of the walk next.
enum class Visit { Children, Past, Refuse };

// Walks the subtree of top in document order without recursion (a document may nest as deep
// as the parser allows): enter(node) for every node, leave(element) after the children of an
// element entered with Visit::Children. False when a visit refused or a node's parent link
// does not lead back, which no tree the writers take has.
template <typename Enter, typename Leave>
bool walkTree(const xmlNode* top, Enter enter, Leave leave) {
  const xmlNode* node = top;
  for (;;) {
    const Visit visit = enter(node);
    if (visit == Visit::Refuse) {
      return false;
    }
    if (visit == Visit::Children && node->children != nullptr) {
      if (node->children->parent != node) {
        return false;
      }
      node = node->children;
      continue;
    }
    while (node != top && node->next == nullptr) {
      node = node->parent;
      leave(node);
    }
    if (node == top) {
      return true;
    }
    if (node->next->parent != node->parent) {
      return false;
    }
    node = node->next;
  }
}

}  // namespace orv::xml
