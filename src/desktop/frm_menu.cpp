#include "desktop/frm_menu.h"

#include "core/configuration.h"
#include "core/language.h"
#include "desktop/frm_main.h"
#include "desktop/toolbar_pictures.h"

#include <QHBoxLayout>
#include <QToolBar>
#include <QToolButton>

namespace orv::desktop {
namespace {

using core::gConfiguration;

struct ButtonDesign {
  int index;
  const char* objectName;
  const char16_t* caption;  // STARTED_... for button 1
  const char16_t* tip;
  ToolbarPicture picture;
};

constexpr ButtonDesign kButtons[] = {
    {frmMenu::kStartStop, "tlbMenu_StartStop", u"TOP_MENU_FORM/TOOLBAR/STOPPED_SERVER_LABEL",
     u"TOP_MENU_FORM/TOOLBAR/STOPPED_SERVER_TIP", ToolbarPicture::ServerStopped},
    {frmMenu::kShares, "tlbMenu_Shares", u"TOP_MENU_FORM/TOOLBAR/SHARES_LABEL", u"TOP_MENU_FORM/TOOLBAR/SHARES_TIP",
     ToolbarPicture::Shares},
    {frmMenu::kUploads, "tlbMenu_Uploads", u"TOP_MENU_FORM/TOOLBAR/UPLOADS_LABEL", u"TOP_MENU_FORM/TOOLBAR/UPLOADS_TIP",
     ToolbarPicture::Uploads},
    {frmMenu::kHistory, "tlbMenu_History", u"TOP_MENU_FORM/TOOLBAR/HISTORY_LABEL", u"TOP_MENU_FORM/TOOLBAR/HISTORY_TIP",
     ToolbarPicture::History},
    {frmMenu::kConfig, "tlbMenu_Config", u"TOP_MENU_FORM/TOOLBAR/CONFIG_LABEL", u"TOP_MENU_FORM/TOOLBAR/CONFIG_TIP",
     ToolbarPicture::Config},
};

// A text of the record; a record without it (one not loaded) shows the key rather than an
// empty button.
QString toolbarText(const char16_t* name) {
  const QString text = core::gLanguage.text(name);
  if (!text.isEmpty()) {
    return text;
  }
  const QStringView view(name);
  return view.mid(view.lastIndexOf(u'/') + 1).toString();
}

int buttonOf(MainPanel panel) {
  switch (panel) {
    case MainPanel::Shares:
      return frmMenu::kShares;
    case MainPanel::Uploads:
      return frmMenu::kUploads;
    case MainPanel::History:
      return frmMenu::kHistory;
    case MainPanel::Config:
      return frmMenu::kConfig;
  }
  return frmMenu::kShares;
}

}  // namespace

frmMenu::frmMenu(QWidget* parent) : QWidget(parent), tlbMenu_(new QToolBar(this)) {
  setObjectName(QStringLiteral("frmMenu"));
  tlbMenu_->setObjectName(QStringLiteral("tlbMenu"));
  tlbMenu_->setMovable(false);
  tlbMenu_->setFloatable(false);
  tlbMenu_->setIconSize(QSize(32, 32));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tlbMenu_);

  for (const ButtonDesign& design : kButtons) {
    if (design.index == kShares) {
      tlbMenu_->addSeparator();  // button 2
    }
    auto* tool = new QToolButton(tlbMenu_);
    tool->setObjectName(QLatin1String(design.objectName));
    tool->setIcon(toolbarPicture(design.picture));
    tool->setIconSize(QSize(32, 32));
    tool->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tool->setAutoRaise(true);
    tool->setCheckable(true);
    tlbMenu_->addWidget(tool);
    buttons_[design.index] = tool;
    // Reached with Tab and pressed with Space, as any button.
    tool->setFocusPolicy(Qt::TabFocus);
    // A click, a key and an assistive tool's toggle all change the pressed state: each is
    // a click of the button, unless the form itself is setting the state.
    const int index = design.index;
    connect(tool, &QToolButton::toggled, this, [this, index] {
      if (!settingState_) {
        tlbMenu_ButtonClick(index);
      }
    });
  }

  RefreshFormLang();
  SetStartStopButtonState();
  // The designed height: the main window places the panel below it.
  setFixedHeight(sizeHint().height());
}

QToolButton* frmMenu::button(int index) const {
  return index >= 1 && index <= kConfig ? buttons_[index] : nullptr;
}

void frmMenu::setPressed(int index, bool pressed) {
  const bool saved = settingState_;
  settingState_ = true;
  buttons_[index]->setChecked(pressed);
  settingState_ = saved;
}

void frmMenu::RefreshFormLang() {
  for (const ButtonDesign& design : kButtons) {
    const char16_t* caption = design.caption;
    const char16_t* tip = design.tip;
    if (design.index == kStartStop && buttons_[kStartStop]->isChecked()) {
      caption = u"TOP_MENU_FORM/TOOLBAR/STARTED_SERVER_LABEL";
      tip = u"TOP_MENU_FORM/TOOLBAR/STARTED_SERVER_TIP";
    }
    QToolButton* tool = buttons_[design.index];
    const QString text = toolbarText(caption);
    tool->setText(text);
    tool->setToolTip(toolbarText(tip));
    tool->setAccessibleName(text);
    tool->setAccessibleDescription(tool->toolTip());
  }
}

void frmMenu::SetStartStopButtonState() {
  const bool running = gConfiguration.AppState.blnServerStarted;
  QToolButton* startStop = buttons_[kStartStop];
  setPressed(kStartStop, running);
  startStop->setIcon(toolbarPicture(running ? ToolbarPicture::ServerRunning : ToolbarPicture::ServerStopped));
  const QString text = toolbarText(running ? u"TOP_MENU_FORM/TOOLBAR/STARTED_SERVER_LABEL"
                                           : u"TOP_MENU_FORM/TOOLBAR/STOPPED_SERVER_LABEL");
  startStop->setText(text);
  startStop->setToolTip(
      toolbarText(running ? u"TOP_MENU_FORM/TOOLBAR/STARTED_SERVER_TIP" : u"TOP_MENU_FORM/TOOLBAR/STOPPED_SERVER_TIP"));
  startStop->setAccessibleName(text);
  startStop->setAccessibleDescription(startStop->toolTip());

  // The shares panel's button that opens the server's own pages works only while it runs.
  const frmMain* window = gMainForm;
  if (window != nullptr && window->isVisible() && gConfiguration.AppDisplay.gShownMainPanel == 1 &&
      !gCurrentChildForm.isNull()) {
    if (auto* showWebShares = gCurrentChildForm->findChild<QWidget*>(QStringLiteral("cmdShowWebShares"))) {
      showWebShares->setEnabled(running);
    }
  }
}

void frmMenu::setPanelButtonPressed(std::optional<MainPanel> panel) {
  const int pressed = panel ? buttonOf(*panel) : 0;
  for (const int index : {kShares, kUploads, kHistory, kConfig}) {
    setPressed(index, index == pressed);
  }
}

void frmMenu::tlbMenu_ButtonClick(int index) {
  switch (index) {
    case kStartStop:
      if (gMainForm != nullptr) {
        gMainForm->StartStopServer(true);
      }
      SetStartStopButtonState();
      return;
    case kShares:
      setPanelButtonPressed(MainPanel::Shares);
      subShowChildForm(QStringLiteral("Shares"), true, true, QString());
      return;
    case kUploads:
      setPanelButtonPressed(MainPanel::Uploads);
      subShowChildForm(QStringLiteral("Uploads"), true, true, QString());
      return;
    case kHistory:
      setPanelButtonPressed(MainPanel::History);
      subShowChildForm(QStringLiteral("History"), true, true, QString());
      return;
    case kConfig:
      // Chosen from the tool bar, the configuration always opens on its first category.
      setPanelButtonPressed(MainPanel::Config);
      subShowChildForm(QStringLiteral("Config"), false, true, QStringLiteral("general"));
      return;
    default:
      return;
  }
}

}  // namespace orv::desktop
