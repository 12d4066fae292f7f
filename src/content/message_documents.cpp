#include "content/message_documents.h"

#include "content/folder_enumeration.h"
#include "content/folder_page_document.h"
#include "content/mp3_reader.h"
#include "core/file_utils.h"

namespace orv::content {
namespace {

QString latin(const char* text) {
  return QString::fromLatin1(text);
}

// The header of a message or login page: no folder levels and the default page icon.
PageLocation pageLocation(const QString& urlTagEncoded) {
  return {{}, latin("/"), urlTagEncoded, {}, {}};
}

}  // namespace

xml::Document fnctBuildMessageDocument(const QString& title, const QString& label, const QString& urlTagEncoded) {
  xml::Document document;
  subAppendStylesheetInstruction(document);
  xml::Element page = document.createDocumentElement(latin("page"));
  BuildDocumentHeader(page, latin("message"), pageLocation(urlTagEncoded));
  xml::Element message = page.appendElement(latin("message"));
  message.appendTextElement(latin("title"), title);
  message.appendTextElement(latin("label"), label);
  return document;
}

xml::Document fnctBuildIdentificationDocument(const QString& title, const QString& urlTagEncoded) {
  xml::Document document;
  subAppendStylesheetInstruction(document);
  xml::Element page = document.createDocumentElement(latin("page"));
  BuildServerConfigNode(page, latin("identification"));
  BuildDocumentHeader(page, latin("identification"), pageLocation(urlTagEncoded));
  page.appendElement(latin("identification")).appendTextElement(latin("title"), title);
  return document;
}

xml::Document fnctBuildSingleItemDocument(const QString& localPath, int itemType, const QString& urlTagEncoded) {
  if (itemType < static_cast<int>(SingleItemType::DiskFolder) || itemType > static_cast<int>(SingleItemType::File)) {
    return {};
  }
  const auto type = static_cast<SingleItemType>(itemType);
  QString path = localPath;
  if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
    path.chop(1);
  }
  const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  const bool hidden = core::hasFileAttribute(path, core::kFileAttributeHidden);
  const QDateTime date = type == SingleItemType::VirtualFolder ? QDateTime(QDate(1980, 1, 1), QTime(0, 0, 1))
                                                               : core::getFileLastWriteDate(path);
  // The item is built under a scratch element and then becomes the document element.
  xml::Document scratch;
  xml::Element holder = scratch.createDocumentElement(latin("scratch"));
  xml::Element item;
  if (type == SingleItemType::File) {
    const SectionIndex section = getFileSectionOf(getNameExtension(name));
    FileItemData file;
    file.displayMode = latin("list");
    file.hidden = hidden;
    file.name = name;
    file.extension = getNameExtension(name);
    file.sizeText = QString::number(core::getFileSizeByPath(path));
    file.date = date;
    file.icons = DefaultItemIcons::forType(latin(kSectionTypes[section]));
    if (section == kSoundSection) {
      file.mp3 = fnctGetMp3Infos(path);
    }
    item = BuildFileItem(holder, file);
  } else {
    item = BuildFolderItem(holder, latin("list"), hidden, name, date, urlTagEncoded);
  }
  return xml::Document::fromElement(item);
}

}  // namespace orv::content
