#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

// The thumbnail maker: makes, or finds in the thumbnail cache, the small bitmap of one
// image file for a "?miniature=" request. The request engine creates one per request in the
// connection's slot, calls the three setters, CreateMiniature and getImagePathMini, sends
// that file and destroys the maker.
namespace orv::content {

// Images whose header claims more pixels than this are refused before anything is decoded.
inline constexpr qint64 kMaxMiniatureSourcePixels = 200'000'000;

// The most memory, in megabytes, one decoded picture may take (QImageReader's allocation
// limit, which holds for the whole process).
inline constexpr int kMiniatureAllocationLimitMb = 256;

// The icon shown instead of a thumbnail when no set of file-type icons serves the extension.
inline constexpr char kMiniatureErrorIcon[] = "itemicon_big_error.png";

// The size of the thumbnail of a picture of sourceSize whose largest side becomes maxSide,
// never larger than the source and never less than one pixel a side. The short side is
// rounded to the nearest whole number, ties to even: 4000 x 3000 with 96 gives 96 x 72,
// 50 x 40 with 96 stays 50 x 40. An invalid size for an empty source or a maxSide below 1.
QSize getMiniatureSize(QSize sourceSize, int maxSide);

// The picture of the file scaled to getMiniatureSize(its size, maxSide): decoded from the file's
// content whatever its extension, at reduced scale for JPEG, then scaled smoothly, with its
// orientation tag applied and any transparency laid on white. A null image when the file is
// not a regular file, is not a picture the readers know, claims more than
// kMaxMiniatureSourcePixels, or needs more than the allocation limit.
QImage fnctReadMiniatureImage(const QString& sourcePath, int maxSide);

// The same from a file open for reading, read from its start; the handle stays open.
QImage fnctReadMiniatureImage(int handle, int maxSide);

class usrMinature {
 public:
  usrMinature();
  ~usrMinature();
  usrMinature(const usrMinature&) = delete;
  usrMinature& operator=(const usrMinature&) = delete;

  // The source image path.
  void setImagePathFullSize(const QString& path) { imagePathFullSize_ = path; }
  // The folder the source must lie in (its share's); empty for no such check.
  void setImageFolder(const QString& folder) { imageFolder_ = folder; }
  // The largest side in pixels, as text: rounded to a whole number, ties to even. A text
  // that is not a number from 1 to 32767 leaves no valid size, and CreateMiniature fails.
  void setMaxSize(const QString& size);
  // 1 when the source file is hidden (its icon is then the "hide" variant), else 0.
  void setHtmlIconVisibility(int visibility) { htmlIconVisibility_ = visibility; }
  // The file to send: a thumbnail of the cache folder or a file-type icon of the folder
  // "resources"; empty before CreateMiniature.
  QString getImagePathMini() const { return imagePathMini_; }

  // Makes or finds the thumbnail; true when getImagePathMini names one. A source larger than
  // APP_MAX_MINIATURE_SOURCE_FILE_SIZE, and every failure (an image that cannot be read, a
  // full cache with nothing to evict, a file that cannot be written), gives false with the
  // 48-pixel file-type icon of the source's extension as the file to send.
  //
  // The source is opened before anything else, and refused when it is no regular file or,
  // as opened, lies outside the folder of setImageFolder; everything after reads that open
  // file, never the path again. A picture that could not be decoded is remembered with its
  // entity tag and not decoded again until it changes (it gets the icon at once).
  //
  // It yields once to the event loop before the cache lookup. When the maker is destroyed
  // meanwhile (its connection closed), it returns false at once without touching anything:
  // the caller then must not use the maker again.
  bool CreateMiniature();

  // The largest side setMaxSize left: 0 when it was not a valid size.
  int getMaxSize() const { return maxSize_; }

 private:
  bool createAfterYield();
  bool fail();
  QString chooseMiniatureFile();
  bool openSource();
  void closeSource();

  QString imagePathFullSize_;
  QString imageFolder_;
  int sourceHandle_ = -1;  // the source, open from before the yield to the end
  qint64 sourceSize_ = 0;
  int maxSize_ = 0;
  int htmlIconVisibility_ = 0;
  QString imagePathMini_;
  // Cleared by the destructor; CreateMiniature holds a copy across its yield.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A fresh thumbnail name: a decimal number from 0 to 9999998 that names nothing in the cache
// folder (not even a dangling link); empty when none is found after many draws.
QString GetNewMiniatureFileName();

// The name of the oldest thumbnail when it is a thumbnail file of the cache folder; empty
// otherwise or when the index is empty.
QString GetOldestMiniatureId();

}  // namespace orv::content
