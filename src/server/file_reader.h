#pragma once

#include "platform/deadline.h"
#include "platform/file_system.h"
#include "server/http_method_code.h"
#include "server/upload_views.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

namespace orv::net {
class usrSocket;
}

// The file reader of a connection slot: sends one file as an HTTP response, its head on the
// slot's socket and its body through its own events, in one piece (optionally deflated) or
// block by block, and keeps the upload's progress for the uploads window.
//
// How the engine uses the reader of slot i:
// - Creation, with the slot's socket on accept: usrFileReader(*socket, i). The socket must
//   outlive the reader (the clean-up unloads the reader before the socket). Route the
//   events to the socket:
//     DataArrival(bytData): when the socket's State is sckConnected, SendDataB(bytData);
//       otherwise the block is dropped.
//     SendComplete(KeepConnection): when KeepConnection is false, the socket's Tag becomes
//       "terminate".
//   A handler may destroy the reader (a send that completes at once closes a connection
//   marked "terminate"); the reader touches nothing of itself afterwards.
// - Hand-off of one file request: the lets (setIsKeepConnection, setIsDeflateCompression,
//   setSocketIndex, setFilePath, setFileExtension, setBitRange, setIsInvibleTransfer,
//   setTransferStartDate, setClientAppName, setClientHttpVersion, setHttpMethod; the
//   request number and the client text are set earlier on the road), then SendData.
// - The socket's SendComplete, in this order: EndUploadAtSendComplete; when
//   getIsKeepConnection and not getIsActiveUpload, the socket's idle timer; then either the
//   close of a socket tagged "terminate" (DestroyFileReader, unload the reader, then the
//   socket), or, when getIsLargeUpload and getIsActiveUpload, one yield and
//   modSubClsCustWinMsg::SendCompleteMessage(i, getTransferId()). The pump's next-block
//   handler calls SendDataToSocket(lParam) on the reader of the slot when it is loaded.
// - The per-connection clean-up: DestroyFileReaderOnClose, then unload the reader.
//
// A transfer the reader cannot finish (the file is gone before it opens, or it shrank so a
// read comes back short) is not reported as sent: the reader records what was really sent
// as an interrupted upload and then has the connection closed, by raising the slot socket's
// CloseSck event from the event loop, as the peer's close or the idle timer would.
namespace orv::server {

class clsHttpRequest;

// The reader's events; a handler receives the reader's slot from the way it was connected.
struct FileReaderEvents {
  // Send these bytes on the slot's socket now.
  std::function<void(QByteArray& bytData)> DataArrival;
  // The last body data has been read: a connection that is not kept is to be closed after
  // the current send. Raised before the DataArrival that carries the last data.
  std::function<void(bool& KeepConnection)> SendComplete;
};

class usrFileReader {
 public:
  usrFileReader(net::usrSocket& socket, int index);
  ~usrFileReader();
  usrFileReader(const usrFileReader&) = delete;
  usrFileReader& operator=(const usrFileReader&) = delete;

  FileReaderEvents events;

  // ---- Lets: each only stores its value ----
  void setFilePath(const QString& value) { filePath_ = value; }
  // The file at the path, already open (routing opened it and proved it inside its
  // folder): the next SendData takes its handle and status instead of opening the path.
  // Set after setFilePath; SendData forgets it either way.
  void setOpenedFile(std::shared_ptr<platform::OpenedFile> file) { openedFile_ = std::move(file); }
  void setFileExtension(const QString& value) { fileExtension_ = value; }  // without the dot
  // The first byte of a range; 0 for the whole file. A value that is not a whole number
  // inside the file is answered with the whole file.
  void setBitRange(double value) { bitRange_ = value; }
  void setSocketIndex(int value) { socketIndex_ = value; }
  // The IP address, or the address, " (", the login and ")".
  void setClientInfos(const QString& value) { clientInfos_ = value; }
  // Set-Cookie lines the request earned on the road (a form login), sent with the head.
  void setServerCookies(const QList<QByteArray>& lines) { serverCookies_ = lines; }
  void setIsKeepConnection(bool value) { isKeepConnection_ = value; }
  // A resource or thumbnail: one piece, an Expires header, never an upload.
  void setIsInvibleTransfer(bool value) { isInvibleTransfer_ = value; }
  void setIsActiveUpload(bool value) { isActiveUpload_ = value; }
  void setIsDeflateCompression(bool value) { isDeflateCompression_ = value; }
  void setClientAppName(const QString& value) { clientAppName_ = value; }
  void setTransferStartDate(const QDateTime& value) { transferStartDate_ = value; }
  void setClientHttpVersion(const QByteArray& value) { clientHttpVersion_ = value; }
  // The number of this request on its connection, 1 for the first.
  void setNbConnectionRequest(int value) { nbConnectionRequest_ = value; }
  void setHttpMethod(HttpMethodCode value) { httpMethod_ = value; }

  // ---- Gets ----
  const QString& getFilePath() const { return filePath_; }
  int getUploadPercent() const { return uploadPercent_; }
  double getUploadRate() const { return uploadRate_; }              // bytes per second
  double getRequiredFileSize() const { return requiredFileSize_; }  // file size less the range start
  // The body bytes the response carries (after compression; 0 for HEAD).
  double getRequiredCompressedFileSize() const { return requiredCompressedFileSize_; }
  double GetFileSize() const { return fileSize_; }  // on disk when the transfer started
  double getBitRange() const { return bitRange_; }  // after SendData: the range start it used
  const QString& getClientInfos() const { return clientInfos_; }
  bool getIsKeepConnection() const { return isKeepConnection_; }
  bool getIsActiveUpload() const { return isActiveUpload_; }
  bool getIsInvibleTransfer() const { return isInvibleTransfer_; }
  bool getIsLargeUpload() const { return isLargeUpload_; }  // sent block by block
  const QString& getClientAppName() const { return clientAppName_; }
  const QDateTime& getTransferStartDate() const { return transferStartDate_; }
  int getNbConnectionRequest() const { return nbConnectionRequest_; }
  int getSocketIndex() const { return socketIndex_; }
  HttpMethodCode getHttpMethod() const { return httpMethod_; }

  // The body bytes of this response that the socket has sent: its BytesSent, less what it
  // still had to send of the head when the reader reset the count.
  double getBodyBytesSent() const;
  // A number for each SendData of the run, never 0: what the pump message carries.
  quint64 getTransferId() const { return transferId_; }
  // The tooltip record of the upload in progress.
  tUploadInProgressInfos getUploadInProgressInfos() const;

  // ---- Methods ----

  // Sends the response for the file: the head, then the body in one piece, or the first
  // block of a large one. One call per file request.
  void SendData();
  // The next block of a large transfer; nothing unless a large upload is active, or while a
  // block is being prepared. With a transfer number, only for that transfer.
  void SendDataToSocket();
  void SendDataToSocket(quint64 transferId);

  // The end of an upload at a send completion of the slot's socket. When an upload is
  // active and all its body bytes are out (or it has none): clears the active flag and,
  // unless invisible, records FILE_END_UPLOAD and the finished transfer with the body bytes
  // sent, moves its row to the sent files of the uploads window and refreshes the tray
  // icon. True when the upload ended here.
  bool EndUploadAtSendComplete();
  // Before the reader is unloaded: records a visible upload that is still active as not
  // finished with the body bytes sent, closes the file, refreshes the uploads window's
  // captions and the tray icon.
  void DestroyFileReader();
  // The per-connection clean-up's share: FILE_ABORT_UPLOAD for a visible upload that is
  // still active, then DestroyFileReader.
  void DestroyFileReaderOnClose();

  // One progress tick: the rate, the percentage, the uploads window's row and tooltip, the
  // tray icon. Runs every 1000 ms while an upload is active, and once when it starts.
  void trmUploadInfosRefresh_Timer();
  const platform::Deadline& uploadInfosRefreshTimer() const { return trmUploadInfosRefresh; }

 private:
  void sendOnePiece(clsHttpRequest& response);
  void sendBlockByBlock(clsHttpRequest& response);
  // Sends the head and resets the socket's count; false when the reader is gone or the
  // socket refused it.
  bool sendHead(const QByteArray& head);
  bool readBlock(qint64 offset, qint64 count);
  void startUpload(bool historyFirst);
  void failTransfer();
  void closeFile();
  bool raiseDataArrival(QByteArray& bytes);
  bool raiseSendComplete();
  void log(const QString& message) const;

  net::usrSocket* socket_;
  int socketIndex_;

  QString filePath_;
  std::shared_ptr<platform::OpenedFile> openedFile_;
  QString fileExtension_;
  double bitRange_ = 0;
  QString clientInfos_;
  QList<QByteArray> serverCookies_;
  bool isKeepConnection_ = false;
  bool isInvibleTransfer_ = false;
  bool isActiveUpload_ = false;
  bool isDeflateCompression_ = false;
  QString clientAppName_;
  QDateTime transferStartDate_;
  QByteArray clientHttpVersion_;
  int nbConnectionRequest_ = 1;
  HttpMethodCode httpMethod_ = HttpMethodCode::GET;

  int uploadPercent_ = 0;
  double uploadRate_ = 0;
  double lastSample_ = 0;
  double requiredFileSize_ = 0;
  double requiredCompressedFileSize_ = 0;
  double fileSize_ = 0;
  bool isLargeUpload_ = false;

  int fileHandle_;
  qint64 rangeStart_ = 0;
  qint64 bytesRead_ = 0;
  qint64 bytesLeft_ = 0;
  QByteArray buffer_;
  double headUnsent_ = 0;  // head bytes still queued when the count was reset
  bool lastDataHandedOver_ = false;
  bool preparingBlock_ = false;
  quint64 transferId_ = 0;
  // What the transfer was started with: the lets of the next request may come before it ends.
  QString transferPath_;
  QString transferClient_;
  bool transferInvisible_ = false;

  platform::Deadline trmUploadInfosRefresh;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orv::server
