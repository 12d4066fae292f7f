#pragma once

#include <QString>

#include <functional>

// Every message box of the desktop goes through here, so that tests answer them and a run
// without a screen never waits on one.
namespace orv::desktop {

enum class MessageIcon { Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageBoxRequest {
  QString text;
  QString title;  // empty: the application title
  MessageIcon icon = MessageIcon::Information;
  MessageButtons buttons = MessageButtons::Ok;
};

using MessageBoxAnswerer = std::function<MessageAnswer(const MessageBoxRequest& request)>;

// Installs the function that answers every box in place of the user; an empty function
// brings the real boxes back.
void setMessageBoxAnswerer(MessageBoxAnswerer answerer);

// Shows the box and waits for the user's answer. With an answerer installed, it answers
// instead; on a platform without a screen (offscreen, minimal) or without a GUI
// application, no box is shown and the answer is the box's safe default (Ok, or No for a
// question).
MessageAnswer showMessageBox(const MessageBoxRequest& request);

}  // namespace orv::desktop
