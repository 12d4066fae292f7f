#include "editors/share_editing.h"

#include "editors/shares_fixture.h"

#include <functional>

namespace {

using namespace Qt::StringLiterals;
using orv::core::gConfiguration;
using orv::editors::ShareEditorButtons;
using orv::editors::UsersCheckList;

class ShareEditorRules : public SharesFixture {
 protected:
  void SetUp() override {
    SharesFixture::SetUp();
    gConfiguration.Users.add({u"id1"_s, u"amy"_s, u"a"_s, {}, {}});
    gConfiguration.Users.add({u"id2"_s, u"Bob"_s, u"b"_s, {}, {}});
    gConfiguration.Users.add({u"id3"_s, u"carl"_s, u"c"_s, {}, {}});
    users_.fill(gConfiguration.Users);
  }

  QList<bool> ticks() const {
    QList<bool> ticked;
    for (const UsersCheckList::Item& item : users_.items()) {
      ticked << item.ticked;
    }
    return ticked;
  }

  UsersCheckList users_;
};

TEST_F(ShareEditorRules, TheUsersListStartsWithAllUsersThenTheAccountsNoneTicked) {
  ASSERT_EQ(users_.items().size(), 4);
  EXPECT_EQ(users_.items()[0].key, u"id0"_s);
  EXPECT_EQ(users_.items()[0].text, text(u"SHARES_FORM/TREEVIEW/ALL_USERS"));
  EXPECT_EQ(users_.items()[2].key, u"id2"_s);
  EXPECT_EQ(users_.items()[2].text, u"Bob"_s);
  EXPECT_EQ(ticks(), (QList<bool>{false, false, false, false}));
  EXPECT_EQ(users_.checkedUsers(), u""_s);
}

TEST_F(ShareEditorRules, TickingUsers) {
  struct Case {
    const char* name;
    std::vector<int> clicks;
    QList<bool> ticked;
    QString users;
  };
  const std::vector<Case> cases = {
      {"one user", {1}, {false, true, false, false}, u"amy"_s},
      {"two users in list order", {3, 1}, {false, true, false, true}, u"amy:carl"_s},
      {"a user unticks all users", {0, 2}, {false, false, true, false}, u"Bob"_s},
      {"all users unticks every user", {1, 2, 0}, {true, false, false, false}, u""_s},
      {"unticking the last user ticks nothing again", {1, 1}, {false, false, false, false}, u""_s},
      {"all users alone means everybody", {0}, {true, false, false, false}, u""_s},
      {"a click outside the list", {9, -1}, {false, false, false, false}, u""_s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    users_.untickAll();
    for (const int click : c.clicks) {
      users_.toggle(click);
    }
    EXPECT_EQ(ticks(), c.ticked);
    EXPECT_EQ(users_.checkedUsers(), c.users);
  }
}

TEST_F(ShareEditorRules, TickingFromAShare) {
  struct Case {
    bool restricted;
    QString users;
    QList<bool> ticked;
  };
  const std::vector<Case> cases = {
      {false, u""_s, {true, false, false, false}},        {false, u"amy"_s, {true, false, false, false}},
      {true, u"amy:carl"_s, {false, true, false, true}},  {true, u"BOB"_s, {false, false, true, false}},
      {true, u"gone:amy"_s, {false, true, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.users.toStdString());
    users_.tickFromShare(c.restricted, c.users);
    EXPECT_EQ(ticks(), c.ticked);
  }
}

TEST_F(ShareEditorRules, TheButtonsFollowWhatIsLoadedAndWhatIsEdited) {
  using Step = std::function<void(ShareEditorButtons&)>;
  const Step reset = [](ShareEditorButtons& b) { b.reset(); };
  const Step loadShare = [](ShareEditorButtons& b) { b.loaded(u"id2"_s); };
  const Step loadRoot = [](ShareEditorButtons& b) { b.loaded(u"id0"_s); };
  const Step editPath = [](ShareEditorButtons& b) { b.serverPathEdited(); };
  const Step editOther = [](ShareEditorButtons& b) { b.otherEdited(); };
  const Step selectTwo = [](ShareEditorButtons& b) { b.selectionChanged(2); };
  const Step selectOne = [](ShareEditorButtons& b) { b.selectionChanged(1); };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool add, modify, remove;
  };
  const std::vector<Case> cases = {
      {"reset", {reset}, false, false, false},
      {"a path typed with nothing loaded", {reset, editPath}, false, false, false},
      {"a folder or a kind with nothing loaded", {reset, editOther}, true, false, false},
      {"a share loaded", {loadShare}, false, false, true},
      {"its server path edited", {loadShare, editPath}, true, true, false},
      {"its path, then a kind box", {loadShare, editPath, editOther}, true, true, false},
      {"a kind box, then its path", {loadShare, editOther, editPath}, true, true, false},
      {"its folder or a kind edited", {loadShare, editOther}, false, true, true},
      {"the root share's path edited", {loadRoot, editPath}, true, false, false},
      {"the root share's folder edited", {loadRoot, editOther}, false, true, true},
      {"the root share's folder, then its path", {loadRoot, editOther, editPath}, true, true, false},
      {"several selected", {loadShare, editOther, selectTwo}, false, false, true},
      {"back to one selected", {loadShare, editOther, selectTwo, selectOne}, false, true, true},
      {"a share loaded again after edits", {loadShare, editOther, loadShare}, false, false, true},
      {"reset after edits", {loadShare, editPath, reset}, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShareEditorButtons buttons;
    for (const Step& step : c.steps) {
      step(buttons);
    }
    EXPECT_EQ(buttons.add(), c.add);
    EXPECT_EQ(buttons.modify(), c.modify);
    EXPECT_EQ(buttons.remove(), c.remove);
  }
}

}  // namespace
