#pragma once

#include "core/keyed_list.h"

#include <QString>

// The per-address counters of the run-time state (gConfiguration.AppState): failed
// identifications with the time of the last one, and the folder pages and thumbnails in
// creation. Keys are client IP address texts, compared ignoring case. The empty key is never
// stored; reading it gives the total of all addresses.
namespace orv::server {

// The largest value a counter holds; counting stops there instead of wrapping round.
inline constexpr int kMaxCounterValue = 32767;

// Counts one failed identification of the address in colIpIdentificationErrors and makes now
// (the platform clock) its time of last failure in colIpBanStartDates, the moment its ban
// counts from. Both entries move to the end of their lists. An empty address counts nothing.
//
// Failures are forgotten once they are BAN_DURATION seconds old: an address whose last
// failure is that old starts again from one, and on its way each failure sweeps the table
// (at most once per BAN_DURATION, once a second at least) of every address in that state,
// so that many addresses failing once each do not stay in memory for the run.
void subIncrementIpCounter(const QString& ip);

// Adds delta to the counter of the key. An entry exists only while its value is 1 or more: a
// result below 1 removes it, and a delta below 1 on a key without entry changes nothing, so a
// counter never goes negative and comes back to "no entry" once every +1 has had its -1. An
// updated entry moves to the end of the list. An empty key changes nothing.
void subUpdateCounter(core::KeyedList<int>& counter, const QString& key, int delta);

// The counter of the key, -1 when the key has no entry; for the empty key, the sum of every
// entry (0 for an empty list), at most kMaxCounterValue.
int getCounterValue(const core::KeyedList<int>& counter, const QString& key);

// The ban check of a restricted share. True while the address has at least
// MAX_IDENTIFICATION_ERROR failures (never while that is -1) and fewer than BAN_DURATION whole
// seconds have passed since its last failure. A ban that has run out is lifted on the spot:
// both of the address's entries go, so its count starts again from nothing. Asking never
// counts as a failure and never extends a ban.
bool isIpBanned(const QString& ip);

}  // namespace orv::server
