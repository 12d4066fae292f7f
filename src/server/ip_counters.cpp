#include "server/ip_counters.h"

#include "core/configuration.h"
#include "platform/clock.h"

#include <QSet>

#include <algorithm>

namespace orv::server {

using core::gConfiguration;

namespace {

// When the table of failed identifications was last swept; invalid before the first sweep.
QDateTime gLastFailureSweep;

bool hasRunOut(const QDateTime& lastFailure, const QDateTime& now) {
  return lastFailure.secsTo(now) >= gConfiguration.Protocol.BAN_DURATION;
}

// Forgets every address whose last failure is BAN_DURATION seconds old or older: its ban,
// if it had one, is over, and its count would start again from nothing anyway. Run from
// the failures themselves, at most once per BAN_DURATION (once a second at least), so an
// address that fails once is held for two ban durations at most, and the sweep costs one
// pass over the table per period, whatever the number of addresses.
void sweepFailures(const QDateTime& now) {
  const qint64 period = std::max(gConfiguration.Protocol.BAN_DURATION, 1);
  if (gLastFailureSweep.isValid() && gLastFailureSweep <= now && gLastFailureSweep.secsTo(now) < period) {
    return;
  }
  gLastFailureSweep = now;
  core::tAppState& state = gConfiguration.AppState;
  QSet<QString> expired;
  for (const auto& entry : state.colIpBanStartDates) {
    if (hasRunOut(entry.value, now)) {
      expired.insert(entry.key);
    }
  }
  // A count left without its time (never written so, but cheap to tolerate) goes as well.
  const auto runOut = [&](const auto& entry) {
    return expired.contains(entry.key) || !state.colIpBanStartDates.contains(entry.key);
  };
  state.colIpIdentificationErrors.removeIf(runOut);
  state.colIpBanStartDates.removeIf([&](const auto& entry) { return expired.contains(entry.key); });
}

}  // namespace

void subIncrementIpCounter(const QString& ip) {
  if (ip.isEmpty()) {
    return;
  }
  core::tAppState& state = gConfiguration.AppState;
  const QDateTime now = platform::currentDateTime();
  sweepFailures(now);
  const QDateTime* lastFailure = state.colIpBanStartDates.find(ip);
  // Failures older than a ban's length are forgotten: the count starts again.
  const int count =
      lastFailure != nullptr && hasRunOut(*lastFailure, now) ? 0 : state.colIpIdentificationErrors.value(ip, 0);
  // Removing and adding again keeps the two lists in the same order and tolerates a time
  // left behind without its count.
  state.colIpIdentificationErrors.remove(ip);
  state.colIpBanStartDates.remove(ip);
  state.colIpIdentificationErrors.add(std::min(count + 1, kMaxCounterValue), ip);
  state.colIpBanStartDates.add(now, ip);
}

void subUpdateCounter(core::KeyedList<int>& counter, const QString& key, int delta) {
  if (key.isEmpty()) {
    // An entry without key could never be found again to be lowered: the total would stay
    // raised for the rest of the run.
    return;
  }
  const int* found = counter.find(key);
  if (found == nullptr) {
    if (delta >= 1) {
      counter.add(std::min(delta, kMaxCounterValue), key);
    }
    return;
  }
  const long long updated = static_cast<long long>(*found) + delta;
  counter.remove(key);
  if (updated >= 1) {
    counter.add(static_cast<int>(std::min<long long>(updated, kMaxCounterValue)), key);
  }
}

int getCounterValue(const core::KeyedList<int>& counter, const QString& key) {
  if (!key.isEmpty()) {
    return counter.value(key, -1);
  }
  long long total = 0;
  for (const auto& entry : counter) {
    total += entry.value;
  }
  return static_cast<int>(std::min<long long>(total, kMaxCounterValue));
}

bool isIpBanned(const QString& ip) {
  const int maximum = gConfiguration.Protocol.MAX_IDENTIFICATION_ERROR;
  core::tAppState& state = gConfiguration.AppState;
  if (ip.isEmpty() || maximum == -1 || getCounterValue(state.colIpIdentificationErrors, ip) < maximum) {
    return false;
  }
  const QDateTime* lastFailure = state.colIpBanStartDates.find(ip);
  if (lastFailure != nullptr &&
      lastFailure->secsTo(platform::currentDateTime()) < gConfiguration.Protocol.BAN_DURATION) {
    return true;
  }
  state.colIpIdentificationErrors.remove(ip);
  state.colIpBanStartDates.remove(ip);
  return false;
}

}  // namespace orv::server
