#include "content/build_xml_page.h"

#include "content/folder_enumeration.h"
#include "content/grouping.h"
#include "content/message_documents.h"
#include "content/page_build_state.h"
#include "content/server_transform.h"
#include "core/configuration.h"
#include "core/text_encoding.h"
#include "platform/message_loop.h"

#include <cstring>
#include <initializer_list>
#include <optional>

namespace orv::content {
namespace {

QString latin(const char* text) {
  return QString::fromLatin1(text);
}

// A known display word in any letter case is kept in lower case: the stylesheets compare
// these values exactly, and "TRUE" or "Descending" would otherwise empty or break a section.
QString normalizedWord(const QString& value, std::initializer_list<const char*> words) {
  for (const char* word : words) {
    if (value.compare(latin(word), Qt::CaseInsensitive) == 0) {
      return latin(word);
    }
  }
  return value;
}

QString displayMode(const QString& value) {
  return normalizedWord(value, {"list", "icon", "mini"});
}
QString sortValue(const QString& value) {
  return normalizedWord(value, {"name", "size", "type", "date", "artist", "album"});
}
QString sortOrder(const QString& value) {
  return normalizedWord(value, {"ascending", "descending"});
}
QString showGroup(const QString& value) {
  return normalizedWord(value, {"true", "false"});
}

// Marks the state busy for the time of one build, so that a build started again from
// inside a yield of the first one is refused instead of mixing into its document.
class BuildingMark {
 public:
  explicit BuildingMark(PageBuildState& state) : state_(state), refused_(state.blnBuilding) {
    state_.blnBuilding = true;
  }
  ~BuildingMark() {
    if (!refused_) {
      state_.blnBuilding = false;
    }
  }
  BuildingMark(const BuildingMark&) = delete;
  BuildingMark& operator=(const BuildingMark&) = delete;
  bool refused() const { return refused_; }

 private:
  PageBuildState& state_;
  bool refused_;
};

std::optional<SectionIndex> sectionOfType(const QString& type) {
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    if (type.compare(latin(kSectionTypes[i]), Qt::CaseInsensitive) == 0) {
      return static_cast<SectionIndex>(i);
    }
  }
  return std::nullopt;
}

// In single-section mode only the chosen type is listed.
void subShareOnly(PageBuildState& state, SectionIndex section) {
  if (section == kFolderSection) {
    state.shareFiles.fill(false);
    return;
  }
  state.sharePhysicalFolder = false;
  state.shareVirtualFolder = false;
  state.shareFiles.fill(false);
  state.shareFiles[section] = true;
}

void subCreateDocument(PageBuildState& state, std::optional<SectionIndex> single) {
  state.sections = {};
  state.pageSections = {};
  if (single) {
    state.sectionDocuments[*single] = xml::Document();
    xml::Element section = state.sectionDocuments[*single].createDocumentElement(latin("section"));
    subSetSectionAttributes(section, latin(kSectionTypes[*single]), state.displays[*single]);
    state.sections[*single] = section;
    return;
  }
  const PageLocation location = {state.localFolderPath, state.serverFolderPath, state.urlTagEncoded, state.userPageIcon,
                                 state.userUrlIcon};
  FolderPage page = BuildFolderPageTop(location, state.displays, state.sharePhysicalFolder || state.shareVirtualFolder,
                                       state.showPlayers);
  state.document = std::move(page.document);
  state.pageSections = page.sections;
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    state.sectionDocuments[i] = xml::Document();
    state.sections[i] = state.sectionDocuments[i].createDocumentElement(latin("section"));
    subSetSectionAttributes(state.sections[i], latin(kSectionTypes[i]), state.displays[i]);
  }
}

// The sections, as far as they were built, take their places in the page; a fragment's
// section becomes the document.
void subPlaceSections(PageBuildState& state) {
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    if (state.sections[i].isNull()) {
      continue;
    }
    if (state.pageSections[i].isNull()) {
      state.document = std::move(state.sectionDocuments[i]);
      state.sections[i] = state.document.documentElement();
      continue;
    }
    state.pageSections[i] = state.pageSections[i].replaceWithElementOf(state.sectionDocuments[i]);
    state.sections[i] = state.pageSections[i];
  }
}

// The disk and virtual sub-folders, again without the filter when it hid every one.
LoopEnd subListFolders(PageBuildState& state, const FolderSnapshot* snapshot) {
  if (!state.sharePhysicalFolder && !state.shareVirtualFolder) {
    return LoopEnd::Finished;
  }
  const auto listWith = [&](const QString& filter) {
    if (!state.isVirtualFolder && state.sharePhysicalFolder && snapshot != nullptr) {
      if (BuildSubFolderItems(state, *snapshot, filter) == LoopEnd::Destroyed) {
        return LoopEnd::Destroyed;
      }
    }
    if (state.shareVirtualFolder) {
      BuildVirtualFolderItems(state, filter);
    }
    return LoopEnd::Finished;
  };
  const QString filter = state.displays[kFolderSection].filter;
  if (listWith(filter) == LoopEnd::Destroyed) {
    return LoopEnd::Destroyed;
  }
  if (state.visibleDiskFolders + state.countedVirtualFolders > 0 &&
      state.listedDiskFolders + state.listedVirtualFolders <= 0) {
    return listWith(QString());
  }
  return LoopEnd::Finished;
}

// A file section the filter emptied is filled with every file of its type.
LoopEnd subRefillFileSections(PageBuildState& state, const FolderSnapshot& snapshot) {
  const core::tConfShellExtension& lists = core::gConfiguration.ShellExtension;
  for (const SectionIndex section : {kOtherSection, kSoundSection, kImageSection, kVideoSection}) {
    if (state.sections[section].isNull() || state.sectionItems[section] > 0 || state.filesSeen[section] <= 0) {
      continue;
    }
    const QString list = section == kOtherSection   ? lists.SOUND + lists.IMAGE + lists.VIDEO
                         : section == kSoundSection ? lists.SOUND
                         : section == kImageSection ? lists.IMAGE
                                                    : lists.VIDEO;
    int count = 0;
    if (BuildSectionFileItems(state, snapshot, section, list, count) == LoopEnd::Destroyed) {
      return LoopEnd::Destroyed;
    }
    state.sectionItems[section] = count;
  }
  return LoopEnd::Finished;
}

void subSetDiskItems(PageBuildState& state) {
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    if (state.sections[i].isNull()) {
      continue;
    }
    const int items = i == kFolderSection ? state.visibleDiskFolders + state.countedVirtualFolders : state.filesSeen[i];
    state.sections[i].setAttribute(latin("diskitems"), QString::number(items));
  }
}

bool subGroupSections(PageBuildState& state) {
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    if (state.sections[i].isNull()) {
      continue;
    }
    const SectionDisplay& display = state.displays[i];
    const bool sortNeeded = display.sortorder.compare(latin("descending"), Qt::CaseInsensitive) == 0 ||
                            display.sortby.compare(latin("name"), Qt::CaseInsensitive) != 0 ||
                            (i == kFolderSection && state.listedVirtualFolders > 0);
    const bool groupSwitch = display.showgroup.compare(latin("true"), Qt::CaseInsensitive) == 0;
    if (!BuildSectionGroups(state, static_cast<SectionIndex>(i), sortNeeded, display.sortby, groupSwitch)) {
      return false;
    }
  }
  return true;
}

BuildStatus fnctBuildFolderDocument(PageBuildState& state, bool singleSection, const QString& sectionType) {
  std::optional<SectionIndex> single;
  if (singleSection) {
    single = sectionOfType(sectionType);
    if (!single) {
      return BuildStatus::Completed;
    }
    subShareOnly(state, *single);
  }
  subCreateDocument(state, single);

  std::optional<FolderSnapshot> snapshot;
  if (!state.isVirtualFolder) {
    snapshot = fnctReadFolderSnapshot(state.localFolderPath, state.shareLocalFolderPath);
    if (!snapshot) {
      subPlaceSections(state);
      return BuildStatus::Failed;
    }
  }
  if (subListFolders(state, snapshot ? &*snapshot : nullptr) == LoopEnd::Destroyed) {
    return BuildStatus::Destroyed;
  }
  if (snapshot) {
    switch (BuildFileItems(state, *snapshot)) {
      case LoopEnd::Destroyed:
        return BuildStatus::Destroyed;
      case LoopEnd::Aborted:
        // A closed connection wants nothing more of this page.
        subPlaceSections(state);
        return BuildStatus::Completed;
      case LoopEnd::Finished:
        break;
    }
    if (subRefillFileSections(state, *snapshot) == LoopEnd::Destroyed) {
      return BuildStatus::Destroyed;
    }
  }
  subSetDiskItems(state);
  const bool grouped = subGroupSections(state);
  subPlaceSections(state);
  return grouped ? BuildStatus::Completed : BuildStatus::Failed;
}

// Whether an escaped "<br" lies anywhere in the text, in any case: without one there is no
// line break to restore.
bool mayHoldEscapedLineBreak(const QByteArray& xmlText) {
  // Markup holds few "&": a search for the byte passes the rest at memory speed.
  const char* const end = xmlText.constData() + xmlText.size();
  for (const char* at = xmlText.constData(); (at = static_cast<const char*>(std::memchr(at, '&', end - at))) != nullptr;
       ++at) {
    if (end - at >= 6 && std::memcmp(at, "&lt;", 4) == 0 && qstrnicmp(at + 4, "br", 2) == 0) {
      return true;
    }
  }
  return false;
}

// The line breaks that label wrapping wrote as text become markup, in labels only: a file
// name or a tag that holds the same text stays text. The serializer writes every label as
// "<label>" and escaped text, so "</label>" ends it.
QByteArray withLabelLineBreaks(QByteArray xmlText) {
  static const QByteArray open = "<label>";
  static const QByteArray close = "</label>";
  static const QByteArray escaped = "&lt;br /&gt;";
  static const QByteArray markup = "<br />";
  // Most pages wrap no label: they go out as written, without a copy.
  if (!mayHoldEscapedLineBreak(xmlText)) {
    return xmlText;
  }
  QByteArray result;
  result.reserve(xmlText.size());
  qsizetype from = 0;
  for (;;) {
    const qsizetype start = xmlText.indexOf(open, from);
    const qsizetype end = start < 0 ? -1 : xmlText.indexOf(close, start);
    if (end < 0) {
      result.append(xmlText.constData() + from, xmlText.size() - from);
      return result;
    }
    const qsizetype textStart = start + open.size();
    result.append(xmlText.constData() + from, textStart - from);
    const QByteArrayView label(xmlText.constData() + textStart, end - textStart);
    qsizetype done = 0;
    for (qsizetype at = 0; at + escaped.size() <= label.size(); ++at) {
      if (label[at] == '&' && label.sliced(at, escaped.size()).compare(escaped, Qt::CaseInsensitive) == 0) {
        result.append(label.data() + done, at - done);
        result.append(markup);
        at += escaped.size() - 1;
        done = at + 1;
      }
    }
    result.append(label.data() + done, label.size() - done);
    from = end;
  }
}

// The page as it is sent: its XML text, or the HTML the page stylesheet makes of it.
QByteArray pageOutput(const PageBuildState& state) {
  if (core::gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD != 2) {
    return withLabelLineBreaks(state.document.toBytes());
  }
  if (state.document.anyElementTextContains("label", "<br")) {
    return fnctTransformPageBytes(withLabelLineBreaks(state.document.toBytes()));
  }
  // Without a line break to turn into markup, the tree is what its text would read back as:
  // the stylesheet takes it as it is.
  return fnctTransformPageDocument(state.document);
}

}  // namespace

bool subYieldToMessageLoop(const PageBuildState& state) {
  platform::yieldToMessageLoop();
  return !state.blnDestroyed;
}

usrBuildXmlPage::usrBuildXmlPage() : state_(std::make_shared<PageBuildState>()) {}

usrBuildXmlPage::~usrBuildXmlPage() {
  // A build that yields holds its own reference to the state and sees these flags.
  state_->blnAbort = true;
  state_->blnDestroyed = true;
}

void usrBuildXmlPage::SetUrlTag(const QString& tag) {
  state_->urlTag = tag;
  state_->urlTagEncoded = core::fnctUrlEncode(tag);
}

void usrBuildXmlPage::SetLocalFolderPath(const QString& path) {
  state_->localFolderPath = path.isEmpty() || path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

void usrBuildXmlPage::SetServerFolderPath(const QString& path) {
  state_->serverFolderPath = path;
}
void usrBuildXmlPage::SetIsVirtualFolder(bool isVirtual) {
  state_->isVirtualFolder = isVirtual;
}
void usrBuildXmlPage::SetShareLocalFolderPath(const QString& path) {
  state_->shareLocalFolderPath = path;
}

void usrBuildXmlPage::SetFilterFolder(const QString& filter) {
  state_->displays[kFolderSection].filter = filter;
}
void usrBuildXmlPage::SetFilterOther(const QString& filter) {
  state_->displays[kOtherSection].filter = filter;
}
void usrBuildXmlPage::SetFilterSound(const QString& filter) {
  state_->displays[kSoundSection].filter = filter;
}
void usrBuildXmlPage::SetFilterImage(const QString& filter) {
  state_->displays[kImageSection].filter = filter;
}
void usrBuildXmlPage::SetFilterVideo(const QString& filter) {
  state_->displays[kVideoSection].filter = filter;
}

void usrBuildXmlPage::SetSharePhysicalFolder(bool shared) {
  state_->sharePhysicalFolder = shared;
}
void usrBuildXmlPage::SetShareVirtualFolder(bool shared) {
  state_->shareVirtualFolder = shared;
}
void usrBuildXmlPage::SetShareOther(bool shared) {
  state_->shareFiles[kOtherSection] = shared;
}
void usrBuildXmlPage::SetShareSound(bool shared) {
  state_->shareFiles[kSoundSection] = shared;
}
void usrBuildXmlPage::SetShareImage(bool shared) {
  state_->shareFiles[kImageSection] = shared;
}
void usrBuildXmlPage::SetShareVideo(bool shared) {
  state_->shareFiles[kVideoSection] = shared;
}

void usrBuildXmlPage::SetDisplayModeFolder(const QString& mode) {
  state_->displays[kFolderSection].showby = displayMode(mode);
}
void usrBuildXmlPage::SetDisplayModeOther(const QString& mode) {
  state_->displays[kOtherSection].showby = displayMode(mode);
}
void usrBuildXmlPage::SetDisplayModeSound(const QString& mode) {
  state_->displays[kSoundSection].showby = displayMode(mode);
}
void usrBuildXmlPage::SetDisplayModeImage(const QString& mode) {
  state_->displays[kImageSection].showby = displayMode(mode);
}
void usrBuildXmlPage::SetDisplayModeVideo(const QString& mode) {
  state_->displays[kVideoSection].showby = displayMode(mode);
}

void usrBuildXmlPage::SetSortValueFolder(const QString& value) {
  state_->displays[kFolderSection].sortby = sortValue(value);
}
void usrBuildXmlPage::SetSortValueOther(const QString& value) {
  state_->displays[kOtherSection].sortby = sortValue(value);
}
void usrBuildXmlPage::SetSortValueSound(const QString& value) {
  state_->displays[kSoundSection].sortby = sortValue(value);
}
void usrBuildXmlPage::SetSortValueImage(const QString& value) {
  state_->displays[kImageSection].sortby = sortValue(value);
}
void usrBuildXmlPage::SetSortValueVideo(const QString& value) {
  state_->displays[kVideoSection].sortby = sortValue(value);
}

void usrBuildXmlPage::SetSortOrderFolder(const QString& order) {
  state_->displays[kFolderSection].sortorder = sortOrder(order);
}
void usrBuildXmlPage::SetSortOrderOther(const QString& order) {
  state_->displays[kOtherSection].sortorder = sortOrder(order);
}
void usrBuildXmlPage::SetSortOrderSound(const QString& order) {
  state_->displays[kSoundSection].sortorder = sortOrder(order);
}
void usrBuildXmlPage::SetSortOrderImage(const QString& order) {
  state_->displays[kImageSection].sortorder = sortOrder(order);
}
void usrBuildXmlPage::SetSortOrderVideo(const QString& order) {
  state_->displays[kVideoSection].sortorder = sortOrder(order);
}

void usrBuildXmlPage::SetShowGroupFolder(const QString& show) {
  state_->displays[kFolderSection].showgroup = showGroup(show);
}
void usrBuildXmlPage::SetShowGroupOther(const QString& show) {
  state_->displays[kOtherSection].showgroup = showGroup(show);
}
void usrBuildXmlPage::SetShowGroupSound(const QString& show) {
  state_->displays[kSoundSection].showgroup = showGroup(show);
}
void usrBuildXmlPage::SetShowGroupImage(const QString& show) {
  state_->displays[kImageSection].showgroup = showGroup(show);
}
void usrBuildXmlPage::SetShowGroupVideo(const QString& show) {
  state_->displays[kVideoSection].showgroup = showGroup(show);
}

void usrBuildXmlPage::SetShowPlayers(const QString& show) {
  state_->showPlayers = show;
}
void usrBuildXmlPage::SetMessageTitle(const QString& title) {
  state_->messageTitle = title;
}
void usrBuildXmlPage::SetIdentificationTitle(const QString& title) {
  state_->identificationTitle = title;
}
void usrBuildXmlPage::SetMessageLabel(const QString& label) {
  state_->messageLabel = label;
}
void usrBuildXmlPage::SetUserDefaultPageIcon(const QString& icon) {
  state_->userPageIcon = icon;
}
void usrBuildXmlPage::SetUserDefaultUrlIcon(const QString& icon) {
  state_->userUrlIcon = icon;
}
void usrBuildXmlPage::SetSingleItemLocalPath(const QString& path) {
  state_->singleItemPath = path;
}
void usrBuildXmlPage::SetSingleItemType(int type) {
  state_->singleItemType = type;
}

const xml::Document& usrBuildXmlPage::GetOutputDocument() const {
  return state_->document;
}

QString usrBuildXmlPage::GetOutputResult() const {
  // An XML page starts with its declaration, so no byte-order mark is lost here.
  return QString::fromUtf8(pageOutput(*state_));
}

QByteArray usrBuildXmlPage::GetOutputBytes() const {
  const QByteArray page = pageOutput(*state_);
  // Valid UTF-8 that does not begin with a byte-order mark comes back from UTF-16 as it
  // went in; anything else takes the road of the text.
  if (page.isValidUtf8() && !page.startsWith("\xEF\xBB\xBF")) {
    return page;
  }
  return core::fnctUnicodeToUtf8(QString::fromUtf8(page));
}

BuildStatus usrBuildXmlPage::BuildSingleSection(const QString& sectionType) {
  return BuildDocumentFolder(true, sectionType);
}

BuildStatus usrBuildXmlPage::BuildDocumentFolder(bool singleSection, const QString& sectionType) {
  // The build may outlive this builder (destroyed during a yield): it keeps the state
  // and its own copy of the argument, and nothing after it touches the builder.
  const std::shared_ptr<PageBuildState> state = state_;
  const QString type = sectionType;
  const BuildingMark mark(*state);
  if (mark.refused()) {
    return BuildStatus::Failed;
  }
  return fnctBuildFolderDocument(*state, singleSection, type);
}

// The small documents replace the document: never under a folder build that waits in a
// yield and still points into it.
void usrBuildXmlPage::BuildDocumentMessage() {
  if (state_->blnBuilding) {
    return;
  }
  state_->document = fnctBuildMessageDocument(state_->messageTitle, state_->messageLabel, state_->urlTagEncoded);
}

void usrBuildXmlPage::BuildDocumentIdentification() {
  if (state_->blnBuilding) {
    return;
  }
  state_->document = fnctBuildIdentificationDocument(state_->identificationTitle, state_->urlTagEncoded);
}

void usrBuildXmlPage::BuildDocumentSingleItem() {
  if (state_->blnBuilding) {
    return;
  }
  state_->document = fnctBuildSingleItemDocument(state_->singleItemPath, state_->singleItemType, state_->urlTagEncoded);
}

void usrBuildXmlPage::StopLoops() {
  state_->blnAbort = true;
}

}  // namespace orv::content
