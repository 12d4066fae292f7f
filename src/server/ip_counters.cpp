#include "server/ip_counters.h"

#include "core/configuration.h"
#include "platform/clock.h"

#include <algorithm>

namespace orv::server {

using core::gConfiguration;

void subIncrementIpCounter(const QString& ip) {
  if (ip.isEmpty()) {
    return;
  }
  core::tAppState& state = gConfiguration.AppState;
  const int count = state.colIpIdentificationErrors.value(ip, 0);
  // Removing and adding again keeps the two lists in the same order and tolerates a time
  // left behind without its count.
  state.colIpIdentificationErrors.remove(ip);
  state.colIpBanStartDates.remove(ip);
  state.colIpIdentificationErrors.add(std::min(count + 1, kMaxCounterValue), ip);
  state.colIpBanStartDates.add(platform::currentDateTime(), ip);
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
