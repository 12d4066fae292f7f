#pragma once

#include "core/configuration.h"

#include <QString>
#include <QStringList>

// Rules for the server paths under which shares are published and for the user lists of
// shares. A server path begins and ends with "/" ("/" alone is the root share's); the share
// store keeps them percent-encoded from UTF-8.
namespace orv::core {

// The text trimmed of blanks, with "/" put in front when its first character is not "/"
// and at the end when its last character is not "/" (both tests look at the untrimmed
// text). "music" gives "/music/"; an empty text stays empty.
QString fnctNormalizeServerPath(const QString& path);

// False when the text is empty after trimming, or holds any of "/ ", " /", "//", "|", ">",
// "<", '"', "?", "*", ":" or "\".
bool isValidServerPath(const QString& path);

// The next name to propose: "/music_2/" gives "/music_3/", "/music/" and "/my_music/" give
// "/music_2/" and "/my_music_2/". The number stays within 16 bits: a suffix that is not a
// number from 0 to 32,766 starts a new suffix ("/a_32767/" gives "/a_32767_2/"), so
// proposing names again and again always ends.
QString fnctIncrementServerPathSuffix(const QString& serverPath);

// True when the text, normalised and percent-encoded, is the server path of a stored share
// (ignoring case), and always for "/", the root share's.
bool isServerPathUsed(const QString& path, const tShares& shares = gConfiguration.Shared);

// The users text (logins joined by ":") holding, in order, only the parts that are known
// logins (ignoring case); empty parts are dropped and duplicates stay.
QString fnctFilterUsersList(const QString& users, const QStringList& knownLogins);

// The distinct logins (ignoring case) named by the root share and then by every share in
// store order, in order of first appearance.
QStringList getUsersUsedByShares(const tShares& shares = gConfiguration.Shared);

}  // namespace orv::core
