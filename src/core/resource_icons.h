#pragma once

#include <QString>

// File-type icons: sets of four image files of the folder "resources", named
// "filetype_" size "_" show|hide "_" and the served extensions joined by "-" with an image
// extension (filetype_16_show_mp3-wav-wma.png and its three companions).
namespace orv::core {

// Scans gAppFolder/resources once and returns the lookup text: ".", the extension, ":",
// the rest name of its set and ";", for every extension of every complete set. The folder
// is read in name order (case ignored), so the set that comes first there wins a shared
// extension.
QString getResourcesIconsList();

// Same, for the given folder.
QString getResourcesIconsList(const QString& resourcesFolder);

// The icon file to show for an extension: visibility 0 for a visible file, 1 for a hidden
// one; size 16 or 48; defaultName when no set serves the extension. Reads the lookup text
// kept in gConfiguration.
QString getFileTypeIconName(const QString& extension, int visibility, int size, const QString& defaultName);

// Same, on a given lookup text.
QString getFileTypeIconName(const QString& iconsList, const QString& extension, int visibility, int size,
                            const QString& defaultName);

}  // namespace orv::core
