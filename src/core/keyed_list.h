#pragma once

#include "core/caseless_key.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orv::core {

// An ordered collection of values, each optionally stored under a text key. Keys are
// compared ignoring case and are unique; positions count from 1 in the order of adding.
// Lookups by key are constant time, so the per-address counters and the thumbnail index
// stay fast with thousands of entries, and take a view, so that a key made for one lookup
// needs no string of its own.
template <typename T>
class KeyedList {
 public:
  struct Entry {
    QString key;  // empty for a value added without a key
    T value;
  };

  qsizetype count() const { return static_cast<qsizetype>(entries_.size()); }
  bool isEmpty() const { return entries_.empty(); }

  // Adds a value at the end; false (and nothing added) when the key is already used.
  bool add(const T& value, const QString& key = {}) {
    if (!key.isEmpty() && contains(key)) {
      return false;
    }
    entries_.push_back({key, value});
    if (!key.isEmpty()) {
      index_.emplace(key, static_cast<qsizetype>(entries_.size()) - 1);
    }
    return true;
  }

  bool contains(QStringView key) const { return !key.isEmpty() && index_.contains(key); }

  // The value under the key, or nothing.
  const T* find(QStringView key) const {
    const auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[static_cast<std::size_t>(it->second)].value;
  }
  T* find(QStringView key) {
    const auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[static_cast<std::size_t>(it->second)].value;
  }

  // The value under the key, or the fallback.
  T value(QStringView key, const T& fallback = T()) const {
    const T* found = find(key);
    return found == nullptr ? fallback : *found;
  }

  // Position 1 is the first entry; the caller keeps within 1..count().
  const T& at(qsizetype position) const { return entries_[static_cast<std::size_t>(position - 1)].value; }
  T& at(qsizetype position) { return entries_[static_cast<std::size_t>(position - 1)].value; }
  const QString& keyAt(qsizetype position) const { return entries_[static_cast<std::size_t>(position - 1)].key; }

  // The position of the key (from 1), or 0.
  qsizetype positionOf(QStringView key) const {
    const auto it = index_.find(key);
    return it == index_.end() ? 0 : it->second + 1;
  }

  bool remove(QStringView key) {
    const qsizetype position = positionOf(key);
    if (position == 0) {
      return false;
    }
    removeAt(position);
    return true;
  }

  void removeAt(qsizetype position) {
    const auto at = static_cast<std::size_t>(position - 1);
    if (!entries_[at].key.isEmpty()) {
      index_.erase(entries_[at].key);
    }
    entries_.erase(entries_.begin() + (position - 1));
    if (at == entries_.size()) {
      return;  // the last entry: nothing moves
    }
    // The entries behind move up one place; keys need not be hashed again.
    for (auto& [key, index] : index_) {
      if (index > position - 1) {
        --index;
      }
    }
  }

  // Removes every entry for which remove(entry) is true, in one pass: a sweep of a long list
  // costs what one removeAt costs. Returns how many went.
  template <typename Predicate>
  qsizetype removeIf(Predicate remove) {
    std::vector<Entry> kept;
    kept.reserve(entries_.size());
    for (Entry& entry : entries_) {
      if (!remove(std::as_const(entry))) {
        kept.push_back(std::move(entry));
      }
    }
    const qsizetype removed = static_cast<qsizetype>(entries_.size() - kept.size());
    entries_ = std::move(kept);
    if (removed == 0) {
      return 0;
    }
    index_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (!entries_[i].key.isEmpty()) {
        index_.emplace(entries_[i].key, static_cast<qsizetype>(i));
      }
    }
    return removed;
  }

  void clear() {
    entries_.clear();
    index_.clear();
  }

  // Sets the value under the key, adding it at the end when the key is new.
  void set(const QString& key, const T& value) {
    if (T* found = find(key)) {
      *found = value;
    } else {
      add(value, key);
    }
  }

  auto begin() const { return entries_.cbegin(); }
  auto end() const { return entries_.cend(); }
  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<QString, qsizetype, CaselessKeyHash, CaselessKeyEqual> index_;
};

}  // namespace orv::core
