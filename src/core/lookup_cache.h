#pragma once

#include <QHash>
#include <QString>

#include <array>
#include <cstddef>

// Answers of a search through long texts (the lists of the configuration), kept by the key
// asked for as long as the texts stay the same. A folder page asks once per file, and
// searching the lists every time (case ignored) made pages of thousands of files slow.
namespace orv::core {

template <std::size_t N, typename Value>
class LookupCache {
 public:
  // The answer for key: kept from an earlier call on the same texts, else search(key).
  template <typename Search>
  Value find(const std::array<const QString*, N>& texts, const QString& key, Search search) {
    if (!isSameTexts(texts)) {
      for (std::size_t i = 0; i < N; ++i) {
        texts_[i] = *texts[i];
      }
      answers_.clear();
    }
    if (const auto it = answers_.constFind(key); it != answers_.cend()) {
      return *it;
    }
    // Hostile folders may hold many different extensions: the cache stays small.
    if (answers_.size() >= kMaxAnswers) {
      answers_.clear();
    }
    Value answer = search(key);
    answers_.insert(key, answer);
    return answer;
  }

 private:
  static constexpr qsizetype kMaxAnswers = 1024;

  // The copies keep the characters of the texts alive: a text that shares them is the very
  // same text, whatever was assigned meanwhile; another one is compared in full.
  bool isSameTexts(const std::array<const QString*, N>& texts) const {
    for (std::size_t i = 0; i < N; ++i) {
      const QString& held = texts_[i];
      const QString& given = *texts[i];
      const bool shared = held.constData() == given.constData() && held.size() == given.size();
      if (!shared && held != given) {
        return false;
      }
    }
    return true;
  }

  std::array<QString, N> texts_;
  QHash<QString, Value> answers_;
};

}  // namespace orv::core
