#pragma once

#include "platform/xml.h"

#include <QString>

#include <memory>

// The page builder: builds the XML document of one generated page (a folder page, one
// section of it, a message page, a login page or a single item). The request engine
// creates one per request in the connection's slot, sets the properties the page needs,
// calls one build method, reads the output and destroys it. Each instance serves one build.
//
// Folder builds yield to the event loop once per listed entry, so other connections keep
// being served while a large folder is listed; the connection's clean-up may then call
// StopLoops and destroy the builder from inside that yield. The build keeps what it works
// on alive by itself and returns BuildStatus::Destroyed at once: the caller must then not
// touch the builder again (its slot holds something else, or nothing).
namespace orv::content {

enum class BuildStatus {
  Completed,  // built to the end, or to where StopLoops made it stop
  Failed,     // the page folder could not be listed or a transform failed; the document
              // stays as far as it was built
  Destroyed,  // the builder was destroyed while the build yielded
};

struct PageBuildState;

class usrBuildXmlPage {
 public:
  usrBuildXmlPage();
  ~usrBuildXmlPage();
  usrBuildXmlPage(const usrBuildXmlPage&) = delete;
  usrBuildXmlPage& operator=(const usrBuildXmlPage&) = delete;

  // The query text every folder link of the page carries; it is kept URL-encoded.
  void SetUrlTag(const QString& tag);
  // The disk folder of the page ("/" is added when it does not end with one).
  void SetLocalFolderPath(const QString& path);
  // The URL path of the page as requested (URL-encoded), beginning and ending with "/".
  void SetServerFolderPath(const QString& path);
  void SetIsVirtualFolder(bool isVirtual);
  // The local folder of the share that serves the page. Nothing outside it is listed or
  // read: symbolic links that lead out of it (or nowhere) are left out of the page. Not
  // set, the page's own folder is the limit.
  void SetShareLocalFolderPath(const QString& path);

  // Text an item name must contain (case ignored) to be listed; empty keeps every item.
  void SetFilterFolder(const QString& filter);
  void SetFilterOther(const QString& filter);
  void SetFilterSound(const QString& filter);
  void SetFilterImage(const QString& filter);
  void SetFilterVideo(const QString& filter);

  void SetSharePhysicalFolder(bool shared);
  void SetShareVirtualFolder(bool shared);
  void SetShareOther(bool shared);
  void SetShareSound(bool shared);
  void SetShareImage(bool shared);
  void SetShareVideo(bool shared);

  // "list", "icon" or "mini". The display values are written into the page as given,
  // except that a known word in other letter case is written in lower case, as the
  // stylesheets compare them.
  void SetDisplayModeFolder(const QString& mode);
  void SetDisplayModeOther(const QString& mode);
  void SetDisplayModeSound(const QString& mode);
  void SetDisplayModeImage(const QString& mode);
  void SetDisplayModeVideo(const QString& mode);
  // "name", "size", "type", "date", "artist" or "album".
  void SetSortValueFolder(const QString& value);
  void SetSortValueOther(const QString& value);
  void SetSortValueSound(const QString& value);
  void SetSortValueImage(const QString& value);
  void SetSortValueVideo(const QString& value);
  // "ascending" or "descending".
  void SetSortOrderFolder(const QString& order);
  void SetSortOrderOther(const QString& order);
  void SetSortOrderSound(const QString& order);
  void SetSortOrderImage(const QString& order);
  void SetSortOrderVideo(const QString& order);
  // "true" or "false".
  void SetShowGroupFolder(const QString& show);
  void SetShowGroupOther(const QString& show);
  void SetShowGroupSound(const QString& show);
  void SetShowGroupImage(const QString& show);
  void SetShowGroupVideo(const QString& show);

  void SetShowPlayers(const QString& show);
  void SetMessageTitle(const QString& title);
  void SetIdentificationTitle(const QString& title);
  void SetMessageLabel(const QString& label);
  // Bare file names of the resources folder chosen for the identified user, or empty.
  void SetUserDefaultPageIcon(const QString& icon);
  void SetUserDefaultUrlIcon(const QString& icon);
  void SetSingleItemLocalPath(const QString& path);
  // 0 disk folder, 1 virtual folder, 2 file.
  void SetSingleItemType(int type);

  // The document of the build (empty when no build ran). A section fragment and a
  // single item are sent as its XML text.
  const xml::Document& GetOutputDocument() const;
  // The page text: the document's XML text with the line breaks of item labels as
  // markup, or, when PAGE_BUILD_METHOD is 2, the page stylesheet's output for it (empty
  // when that transform fails).
  QString GetOutputResult() const;
  // The same text as the UTF-8 bytes the server sends, that is fnctUnicodeToUtf8 of
  // GetOutputResult, without passing a large page through UTF-16 and back.
  QByteArray GetOutputBytes() const;

  // One section of the folder page as a fragment: "folder", "other", "sound", "image" or
  // "video" (case ignored); only that type is listed, whatever the share flags say. Any
  // other type gives a document with only its XML declaration.
  BuildStatus BuildSingleSection(const QString& sectionType);
  // The folder page: the listing of the folder, then sorting and grouping.
  BuildStatus BuildDocumentFolder(bool singleSection = false, const QString& sectionType = {});
  void BuildDocumentMessage();
  void BuildDocumentIdentification();
  void BuildDocumentSingleItem();

  // Ends every listing loop before its next entry; the flag is never cleared.
  void StopLoops();

 private:
  std::shared_ptr<PageBuildState> state_;
};

}  // namespace orv::content
