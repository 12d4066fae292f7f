#pragma once

#include "core/configuration.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The operations of the shares window that read or change the share store, without a
// screen: checks of the editor's input, the server-path rules, adding, modifying and
// removing a share, folders dropped on the share list, the users check list and the rules
// of the editor's buttons. The store changes in memory only; every change sets
// blnConfigModified, so the shares reach config.xml at shut-down (or at the next Save of a
// configuration category, which writes the whole record).
namespace orv::editors {

// ---- Texts of the editor ----

// The local path as the editor shows it: the application folder becomes "{folder:app}"
// where the path names that very folder or something inside it. File names are
// case-sensitive here, so the comparison is too: "/opt/Orv" is not "/opt/orv", and
// "/opt/orv-data" does not begin with the folder "/opt/orv".
QString fnctShownLocalPath(const QString& localPath);

// The local path as the store keeps it: every "{folder:app}" (the placeholder in any
// letter case) becomes the application folder, then one trailing "/" goes. "/" stays "/".
QString fnctStoredLocalPath(const QString& editorText);

// The server path as the editor and the share list show it: the stored path decoded once
// from percent-encoded UTF-8.
QString fnctShownServerPath(const QString& storedServerPath);

// The server path as the store keeps it: normalised ("/" at both ends), then
// percent-encoded from UTF-8.
QString fnctStoredServerPath(const QString& editorText);

// ---- What the editor holds ----

struct ShareEditorInput {
  QString serverPath;  // as typed
  QString localPath;   // as typed; "{folder:app}" stands for the application folder
  QString users;       // GetCheckedUsers: logins joined by ":", "" = everybody
  bool folder = true;  // both sharePhysicalFolder and shareVirtualFolder
  bool other = true;
  bool sound = true;
  bool image = true;
  bool video = true;
};

// The editor filled from a stored share (the root share for "id0"); nothing for a key the
// store does not hold.
std::optional<ShareEditorInput> fnctEditorInputOf(const core::tShares& shares, const QString& key);

// ---- Refusals ----

enum class EditorField { None, ServerPath, LocalPath };

// A message box to show (the language text's full name, "MSGBOX/ERRORS/...") and the field
// that gets the focus, if any.
struct ShareRefusal {
  QString textName;
  EditorField field = EditorField::ServerPath;

  bool operator==(const ShareRefusal&) const = default;
};

// A server path the user may type: the rules of isValidServerPath, and none of what a
// browser's address would not carry to this share as typed: a "." or ".." segment (the
// browser drops it), "%" (it starts an escape in an address), "#" (it starts the
// fragment), a control character; and, encoded, no longer than the longest URL the server
// takes (HTTP_MAX_URL_SIZE).
bool isTypedServerPathAcceptable(const QString& text);

// IsShareInputValid: the server path first, then the local path, which must name an
// absolute folder that can be entered and listed. ownServerPath is the stored path of the
// share being modified: a text that gives exactly that path is accepted as it is, since it
// passed these checks or the loader's when it was stored (a dropped folder's path may hold
// escapes).
std::optional<ShareRefusal> IsShareInputValid(const ShareEditorInput& input, const QString& ownServerPath = {});

// ---- Keys ----

// Share numbers stay within 16 bits, as the store's keys have always been.
inline constexpr int kLastShareNumber = 32767;

// GetFreeShareId: the smallest n from 1 whose key "id" & n is free; 0 when every number up
// to kLastShareNumber is taken.
int GetFreeShareId(const core::tShares& shares);

// True when the server path is "/" or, normalised and encoded, the stored path of a share
// other than the one of exceptKey (ignoring case).
bool isServerPathUsedByOther(const QString& text, const core::tShares& shares, const QString& exceptKey);

// ---- Add, Modify, Remove ----

struct ShareEditOutcome {
  bool changed = false;  // the store changed and blnConfigModified is set
  std::optional<ShareRefusal> refusal;
  QString key;  // the key of the share added or modified
  // Add with a server path in use puts its trimmed text back into the box.
  std::optional<QString> serverPathText;
};

// cmdAddShare_Click: a new share from the editor, under the smallest free key.
ShareEditOutcome cmdAddShare(core::tShares& shares, const ShareEditorInput& input);

// cmdModifyShare_Click: the share of the key rewritten from the editor, keeping its key
// and its place in the order of adding. The root share ("id0") keeps "/" whatever the box
// says. Another share's new path is checked as Add checks it, its own path left out, and
// can never be "/".
ShareEditOutcome cmdModifyShare(core::tShares& shares, const QString& key, const ShareEditorInput& input);

// What Remove asks about: the keys to remove (the root share left out) and the question, or
// the refusal when only the root share is selected; nothing at all when nothing is
// selected.
struct RemovalPlan {
  QStringList keys;
  QString question;
  std::optional<ShareRefusal> refusal;
};
// selectedKeys in list order; currentSelected: the list's current item is selected.
RemovalPlan planShareRemoval(const core::tShares& shares, const QStringList& selectedKeys, bool currentSelected);
// Removes the planned shares; true when any was removed (blnConfigModified is then set).
bool removeShares(core::tShares& shares, const QStringList& keys);

// ---- Dropped folders ----

// The local path of a dropped address: a local file address (of this machine) as the
// bytes of its path, names that are not UTF-8 kept through the surrogate escape; nothing
// for any other address.
std::optional<QString> fnctDroppedLocalPath(const QUrl& url);

// The server path proposed for a folder name: the name with every character that a server
// path may not hold percent-encoded ("%" and "#" too, and blanks at either end), between
// slashes, so that it passes the server-path check and the share survives the next start.
// Undoing the escapes gives the name back.
QString fnctServerPathOfFolderName(const QString& name);

// The question of a drop or a removal: the question, an empty line and one line "- " and
// item per item. A long list is cut after kMostQuestionLines lines, and a line "- …" says
// that more follow, so that the box fits on the screen.
inline constexpr int kMostQuestionLines = 20;
QString fnctListQuestion(const QString& question, const QStringList& items);

// What a drop on the share list would add: the folders that can be entered and listed, in
// order, each once (files, links to files, missing folders and other addresses are left
// out); the question is empty when none is left.
struct DropPlan {
  QStringList folders;
  QString question;
};
DropPlan planFolderDrop(const QList<QUrl>& urls);

// Adds one share per planned folder in order, each under a free key and a free server
// path made from its name, open to all users with every kind shown. When one cannot be
// added (no free key is left), the drop ends there: the shares added so far stay, and
// blnConfigModified is set whenever one was added.
struct DropOutcome {
  QStringList keys;  // the keys added, in order
  bool complete = true;
};
DropOutcome addDroppedFolders(core::tShares& shares, const QStringList& folders);

// The first dropped address that names a folder that can be entered, as the local-path box
// shows it; nothing when the first one is anything else.
std::optional<QString> fnctDroppedLocalPathText(const QList<QUrl>& urls);

// ---- Proposal of a free server path ----

// cmdGetValidServerPath_Click: "/" or an empty text becomes "new location"; the text is
// normalised, then given the next suffix while it is in use. Stays readable, stores
// nothing.
QString fnctProposeServerPath(const QString& text, const core::tShares& shares);

// ---- Share list ----

enum class ShareIcon { Open = 1, Restricted = 2, Missing = 3 };

struct ShareListItem {
  QString key;
  QString text;
  ShareIcon icon = ShareIcon::Open;
};

// The items of the share list by SHARES_LIST_ITEMS_TEXT and SHARES_LIST_SORT_BY: the root
// share first then the others in the order of adding, or, sorting by name, all by their
// text (ignoring case).
QList<ShareListItem> fnctShareListItems(const core::tShares& shares, const core::tConfAppDisplay& display);

// ---- Users check list ----

class UsersCheckList {
 public:
  struct Item {
    QString key;   // "id0" for all users, else the account's key
    QString text;  // ALL_USERS, else the login
    bool ticked = false;
  };

  // FillUsersList: all users first, then every account in order, none ticked.
  void fill(const core::tConfUsers& users);
  const QList<Item>& items() const { return items_; }
  // Ticks the users of a share: all users alone when it is open to everybody.
  void tickFromShare(bool restricted, const QString& users);
  void untickAll();
  // lvwUsers_ItemClick: toggles the item; ticking all users unticks the others, ticking a
  // user unticks all users. Unticking every user ticks nothing again.
  void toggle(int index);
  // GetCheckedUsers: the ticked logins joined by ":"; "" when none (everybody).
  QString checkedUsers() const;

 private:
  QList<Item> items_;
};

// ---- Buttons of the editor ----

// The Add, Modify and Remove buttons follow what is loaded and what was edited. Modify acts
// on the share loaded in the editor: it is off with several items selected, and once a
// share is loaded and something it applies edited, it stays on while that share is loaded.
class ShareEditorButtons {
 public:
  bool add() const { return add_; }
  bool modify() const { return !loadedKey_.isEmpty() && selectedCount_ <= 1 && modifyEdited_; }
  bool remove() const { return remove_; }
  const QString& loadedKey() const { return loadedKey_; }

  // ResetShareEditor: nothing loaded, all off.
  void reset();
  // A share loaded by a click on its item: only Remove on.
  void loaded(const QString& key);
  void selectionChanged(int selectedCount);
  // txtServerPath changed: with a share loaded Add on and Remove off, Modify on unless it is
  // the root share (whose path never changes); with nothing loaded, unchanged.
  void serverPathEdited();
  // UpdateShareButtonsOnEdit (local path, a kind box, a user): with a share loaded Modify on;
  // with nothing loaded Add on.
  void otherEdited();

 private:
  QString loadedKey_;
  int selectedCount_ = 0;
  bool modifyEdited_ = false;
  bool add_ = false;
  bool remove_ = false;
};

// ---- The root page ----

// "http://" address ":" port "/": a listener bound to every address is reached at
// 127.0.0.1.
QString fnctWebSharesAddress(const QString& boundAddress, int port);

}  // namespace orv::editors
