#pragma once

#include "content/build_xml_page.h"
#include "content/folder_page_document.h"
#include "platform/xml.h"

#include <QString>

#include <array>
#include <cstddef>

// What one page build works on: the builder's properties, the document, the counters of
// the listing and the two flags that end it. The builder owns it through a shared pointer
// and every build holds a copy of that pointer, so a builder destroyed while its build
// yields leaves the build a state that still exists, marked destroyed.
namespace orv::content {

// Positions of the five sections in every per-section array, in page order.
enum SectionIndex : std::size_t { kFolderSection = 0, kOtherSection, kSoundSection, kImageSection, kVideoSection };
inline constexpr std::size_t kSectionCount = 5;

struct PageBuildState {
  QString urlTag;
  QString urlTagEncoded;
  QString localFolderPath;  // ends with "/" (empty for a virtual page)
  QString serverFolderPath;
  QString shareLocalFolderPath;
  bool isVirtualFolder = false;
  bool sharePhysicalFolder = false;
  bool shareVirtualFolder = false;
  std::array<bool, kSectionCount> shareFiles{};  // the other, sound, image and video flags (folder unused)
  std::array<SectionDisplay, kSectionCount> displays;
  QString showPlayers;
  QString messageTitle;
  QString messageLabel;
  QString identificationTitle;
  QString userPageIcon;
  QString userUrlIcon;
  QString singleItemPath;
  int singleItemType = 0;

  bool blnAbort = false;      // set by StopLoops; never cleared
  bool blnDestroyed = false;  // set when the builder goes
  bool blnBuilding = false;

  xml::Document document;
  // Each section is listed and grouped in a document of its own, since the stylesheets
  // read a document whose element is the section, and moved into the page at the end.
  std::array<xml::Document, kSectionCount> sectionDocuments;
  std::array<xml::Element, kSectionCount> sections;      // their elements; null for a section the page lacks
  std::array<xml::Element, kSectionCount> pageSections;  // where they go in the page (null for a fragment)

  int listedDiskFolders = 0;
  int visibleDiskFolders = 0;
  int listedVirtualFolders = 0;
  int countedVirtualFolders = 0;
  std::array<int, kSectionCount> filesSeen{};
  std::array<int, kSectionCount> sectionItems{};
};

// Lets the event loop process what is pending, once. False when the builder was destroyed
// meanwhile: the build must then end without another step.
bool subYieldToMessageLoop(const PageBuildState& state);

}  // namespace orv::content
