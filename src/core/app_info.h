#pragma once

#include <QString>

// Who the program is: its title and its version, major 1, minor 0, revision 2.
namespace orv::core {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 2;

QString applicationTitle();  // "Orvendale"

// Major, ".", then minor and revision written together: "1.02", as the window caption
// and the Server header show it.
QString displayVersion();

// The three numbers written one after the other and read as a number: 102, as
// config.xml and the language-file check use it.
int compactVersion();

}  // namespace orv::core
