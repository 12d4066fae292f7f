#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// The send-complete pump: a hidden window with a registered message that moves a large
// file transfer on by one block each time the connection's socket has sent the last one.
// The engine's send-complete handler yields once to the event loop, then sends the message
// with the slot's index; the window's procedure yields once more and asks that slot's file
// reader for its next block.
namespace orv::net::modSubClsCustWinMsg {

inline constexpr char16_t kSendCompleteMessageName[] = u"WM_SOCKET_SEND_COMPLETE";
inline constexpr char16_t kCustWinMsgWindowName[] = u"CUST_WIN_MSG_WINDOW";

// What the pump window does with the message: ask the file reader of slot index for its
// next block. lParam is what the sender passed (the reader's transfer number, see
// usrFileReader::getTransferId), so that a message outliving its transfer is ignored. The
// engine sets it once; while none is set the message reaches nobody. The handler must not
// let an exception escape: the window procedure ignores failures, but only of the socket
// layer and of the standard library.
using NextBlockHandler = std::function<void(int index, qintptr lParam)>;
void setNextBlockHandler(NextBlockHandler handler);

// Registers the message, creates the window and installs the pump procedure on it, keeping
// the previous one. Called once by start-up; a second call changes nothing.
void HookCustWinMsg();
// Restores the previous procedure and destroys the window. Called once by shut-down; safe
// when not hooked.
void UnhookCustWinMsg();

// The window's handle and the message's number; 0 while not hooked.
int getCustWinMsgWindow();
unsigned getSendCompleteMessage();

// The engine's pump step after its one yield: sends the message for the slot (wParam index,
// lParam as given) to the pump window, whose procedure asks the reader for its next block
// before this returns. Should it run again inside its own procedure (a block that leaves the
// socket at once and completes the send at once), the procedure posts that message to the
// event loop instead, so the stack does not grow by one pump step per block. False when
// the window is not there or index is 0.
bool SendCompleteMessage(int index, qintptr lParam = 0);

}  // namespace orv::net::modSubClsCustWinMsg
