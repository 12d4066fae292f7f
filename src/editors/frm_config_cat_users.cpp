#include "editors/frm_config_cat_users.h"

#include "core/configuration.h"
#include "core/language.h"
#include "core/server_paths.h"
#include "desktop/desktop_utils.h"
#include "editors/config_form_parts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::editors {
namespace {

using core::gConfiguration;

constexpr int kIdRole = Qt::UserRole;

}  // namespace

QIcon fnctAccountIcon(const QPalette& palette, int size) {
  const auto draw = [size](const QColor& colour) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(5, 1, 6, 6));
    painter.drawChord(QRectF(2, 8, 12, 14), 0, 180 * 16);
    return picture;
  };
  QIcon icon(draw(palette.color(QPalette::Highlight)));
  icon.addPixmap(draw(palette.color(QPalette::HighlightedText)), QIcon::Selected);
  return icon;
}

frmConfig_CatUsers::frmConfig_CatUsers(QWidget* parent)
    : ConfigCategoryForm(ConfigCategory::Users, parent), work_(gConfiguration.Users) {
  setObjectName(QStringLiteral("frmConfig_CatUsers"));
  fraConfigUsersList_ = named(new QGroupBox(this), "fraConfigUsersList");
  lvwUsers_ = named(new QListWidget(fraConfigUsersList_), "lvwUsers");
  labLogin_ = named(new QLabel(fraConfigUsersList_), "labLogin");
  txtLogin_ = named(new QLineEdit(fraConfigUsersList_), "txtLogin");
  labPassword_ = named(new QLabel(fraConfigUsersList_), "labPassword");
  txtPassword_ = named(new QLineEdit(fraConfigUsersList_), "txtPassword");
  chkPageIcon_ = named(new QCheckBox(fraConfigUsersList_), "chkPageIcon");
  txtPageIcon_ = named(new QLineEdit(fraConfigUsersList_), "txtPageIcon");
  cmdSelectPageIcon_ = named(new QPushButton(QStringLiteral("..."), fraConfigUsersList_), "cmdSelectPageIcon");
  chkUrlIcon_ = named(new QCheckBox(fraConfigUsersList_), "chkUrlIcon");
  txtUrlIcon_ = named(new QLineEdit(fraConfigUsersList_), "txtUrlIcon");
  cmdSelectUrlIcon_ = named(new QPushButton(QStringLiteral("..."), fraConfigUsersList_), "cmdSelectUrlIcon");
  cmdAddUser_ = named(new QPushButton(fraConfigUsersList_), "cmdAddUser");
  cmdModifyUser_ = named(new QPushButton(fraConfigUsersList_), "cmdModifyUser");
  cmdRemoveUser_ = named(new QPushButton(fraConfigUsersList_), "cmdRemoveUser");
  createSaveButton();

  lvwUsers_->setViewMode(QListView::ListMode);
  lvwUsers_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvwUsers_->setIconSize(QSize(16, 16));
  txtPassword_->setEchoMode(QLineEdit::Password);
  labLogin_->setBuddy(txtLogin_);
  labPassword_->setBuddy(txtPassword_);
  for (QPushButton* picker : {cmdSelectPageIcon_, cmdSelectUrlIcon_}) {
    picker->setFixedWidth(picker->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  }
  for (QLineEdit* box : {txtPageIcon_, txtUrlIcon_}) {
    box->setAcceptDrops(true);
    box->installEventFilter(this);
  }
  lvwUsers_->installEventFilter(this);

  auto* fieldsGrid = new QGridLayout;
  fieldsGrid->addWidget(labLogin_, 0, 0);
  fieldsGrid->addWidget(txtLogin_, 0, 1, 1, 2);
  fieldsGrid->addWidget(labPassword_, 1, 0);
  fieldsGrid->addWidget(txtPassword_, 1, 1, 1, 2);
  fieldsGrid->addWidget(chkPageIcon_, 2, 0, 1, 3);
  fieldsGrid->addWidget(txtPageIcon_, 3, 0, 1, 2);
  fieldsGrid->addWidget(cmdSelectPageIcon_, 3, 2);
  fieldsGrid->addWidget(chkUrlIcon_, 4, 0, 1, 3);
  fieldsGrid->addWidget(txtUrlIcon_, 5, 0, 1, 2);
  fieldsGrid->addWidget(cmdSelectUrlIcon_, 5, 2);
  fieldsGrid->setColumnStretch(1, 1);

  auto* accountButtons = new QHBoxLayout;
  accountButtons->addStretch(1);
  accountButtons->addWidget(cmdAddUser_);
  accountButtons->addWidget(cmdModifyUser_);
  accountButtons->addWidget(cmdRemoveUser_);

  auto* fieldsColumn = new QVBoxLayout;
  fieldsColumn->addLayout(fieldsGrid);
  fieldsColumn->addStretch(1);
  fieldsColumn->addLayout(accountButtons);

  auto* frameLayout = new QHBoxLayout(fraConfigUsersList_);
  frameLayout->addWidget(lvwUsers_, 2);
  frameLayout->addLayout(fieldsColumn, 3);

  layOutForm({fraConfigUsersList_}, fraConfigUsersList_);
  setTabChain({lvwUsers_, txtLogin_, txtPassword_, chkPageIcon_, txtPageIcon_, cmdSelectPageIcon_, chkUrlIcon_,
               txtUrlIcon_, cmdSelectUrlIcon_, cmdAddUser_, cmdModifyUser_, cmdRemoveUser_, cmdSaveConfig_});

  connect(lvwUsers_, &QListWidget::itemSelectionChanged, this, &frmConfig_CatUsers::lvwUsers_SelectionChanged);
  connect(lvwUsers_, &QListWidget::itemClicked, this, &frmConfig_CatUsers::lvwUsers_SelectionChanged);
  // Every change of a text counts, typed or set by an assistive tool; the procedures that set
  // the texts themselves put the buttons right afterwards.
  connect(txtLogin_, &QLineEdit::textChanged, this, &frmConfig_CatUsers::txtLogin_Change);
  for (QLineEdit* box : {txtPassword_, txtPageIcon_, txtUrlIcon_}) {
    connect(box, &QLineEdit::textChanged, this, &frmConfig_CatUsers::RefreshUserButtons);
  }
  for (QLineEdit* box : {txtLogin_, txtPassword_, txtPageIcon_, txtUrlIcon_}) {
    connect(box, &QLineEdit::returnPressed, this, &frmConfig_CatUsers::FocusAddOrModify);
  }
  for (QCheckBox* box : {chkPageIcon_, chkUrlIcon_}) {
    connect(box, &QCheckBox::toggled, this, &frmConfig_CatUsers::chkIcon_Toggled);
    connect(box, &QCheckBox::toggled, this, &frmConfig_CatUsers::RefreshUserButtons);
  }
  connect(cmdAddUser_, &QPushButton::clicked, this, &frmConfig_CatUsers::cmdAddUser_Click);
  connect(cmdModifyUser_, &QPushButton::clicked, this, &frmConfig_CatUsers::cmdModifyUser_Click);
  connect(cmdRemoveUser_, &QPushButton::clicked, this, &frmConfig_CatUsers::cmdRemoveUser_Click);
  connect(cmdSaveConfig_, &QPushButton::clicked, this, &frmConfig_CatUsers::cmdSaveConfig_Click);
  connect(cmdSelectPageIcon_, &QPushButton::clicked, this, &frmConfig_CatUsers::cmdSelectPageIcon_Click);
  connect(cmdSelectUrlIcon_, &QPushButton::clicked, this, &frmConfig_CatUsers::cmdSelectUrlIcon_Click);

  Form_Load();
}

void frmConfig_CatUsers::RefreshFormLang() {
  fraConfigUsersList_->setTitle(configText(u"FRAMES/USERS"));
  cmdSaveConfig_->setText(configText(u"BUTTONS/SAVE"));
  cmdAddUser_->setText(configText(u"BUTTONS/ADD"));
  cmdModifyUser_->setText(configText(u"BUTTONS/MODIFY"));
  cmdRemoveUser_->setText(configText(u"BUTTONS/REMOVE"));
  setFieldLabel(labLogin_, u"LABELS/LOGIN");
  setFieldLabel(labPassword_, u"LABELS/PASSWORD");
  chkPageIcon_->setText(configText(u"CHECKBOX/PAGES_ICON"));
  chkUrlIcon_->setText(configText(u"CHECKBOX/URLS_ICON"));
  lvwUsers_->setAccessibleName(configText(u"FRAMES/USERS"));
  txtPageIcon_->setAccessibleName(configText(u"CHECKBOX/PAGES_ICON"));
  txtUrlIcon_->setAccessibleName(configText(u"CHECKBOX/URLS_ICON"));
  cmdSelectPageIcon_->setAccessibleName(configText(u"CHECKBOX/PAGES_ICON") + QStringLiteral(" ..."));
  cmdSelectUrlIcon_->setAccessibleName(configText(u"CHECKBOX/URLS_ICON") + QStringLiteral(" ..."));
}

void frmConfig_CatUsers::Form_Load() {
  RefreshFormLang();
  InitUsersListview();
  chkIcon_Toggled();
  cmdAddUser_->setEnabled(false);
  cmdModifyUser_->setEnabled(false);
  cmdRemoveUser_->setEnabled(false);
  finishLoad();
}

void frmConfig_CatUsers::InitUsersListview() {
  const QSignalBlocker blocker(lvwUsers_);
  const QIcon icon = fnctAccountIcon(palette());
  lvwUsers_->clear();
  for (const core::UserAccount& account : work_.accounts()) {
    auto* item = new QListWidgetItem(icon, account.login, lvwUsers_);
    item->setData(kIdRole, account.id);
  }
}

int frmConfig_CatUsers::selectedCount() const {
  return desktop::isListViewItemSelected(*lvwUsers_);
}

void frmConfig_CatUsers::showAccount(const QString& id) {
  const core::UserAccount* account = work_.find(id);
  if (account == nullptr) {
    return;
  }
  shownId_ = account->id;
  txtLogin_->setText(account->login);
  txtPassword_->setText(account->password);
  chkPageIcon_->setChecked(!account->pagesicon.isEmpty());
  txtPageIcon_->setText(account->pagesicon);
  chkUrlIcon_->setChecked(!account->urlsicon.isEmpty());
  txtUrlIcon_->setText(account->urlsicon);
  cmdAddUser_->setEnabled(false);
  cmdModifyUser_->setEnabled(false);
  cmdRemoveUser_->setEnabled(true);
}

void frmConfig_CatUsers::lvwUsers_SelectionChanged() {
  const QList<QListWidgetItem*> selected = lvwUsers_->selectedItems();
  if (selected.isEmpty()) {
    ClearUserFields();
  } else if (selected.size() == 1) {
    showAccount(selected.first()->data(kIdRole).toString());
  } else {
    // Several accounts: Remove acts on them all, Modify on none.
    cmdAddUser_->setEnabled(false);
    cmdModifyUser_->setEnabled(false);
    cmdRemoveUser_->setEnabled(true);
  }
}

void frmConfig_CatUsers::RefreshUserButtons() {
  if (cmdRemoveUser_->isEnabled()) {
    const QList<QListWidgetItem*> selected = lvwUsers_->selectedItems();
    cmdModifyUser_->setEnabled(selected.size() == 1 && selected.first()->data(kIdRole).toString() == shownId_);
  } else {
    cmdAddUser_->setEnabled(true);
    cmdModifyUser_->setEnabled(false);
    cmdRemoveUser_->setEnabled(false);
  }
}

void frmConfig_CatUsers::ClearUserFields() {
  shownId_.clear();
  txtLogin_->clear();
  txtPassword_->clear();
  txtPageIcon_->clear();
  txtUrlIcon_->clear();
  cmdAddUser_->setEnabled(false);
  cmdModifyUser_->setEnabled(false);
  cmdRemoveUser_->setEnabled(false);
}

void frmConfig_CatUsers::FocusAddOrModify() {
  if (cmdAddUser_->isEnabled()) {
    cmdAddUser_->setFocus(Qt::TabFocusReason);
  } else if (cmdModifyUser_->isEnabled()) {
    cmdModifyUser_->setFocus(Qt::TabFocusReason);
  }
}

void frmConfig_CatUsers::chkIcon_Toggled() {
  txtPageIcon_->setEnabled(chkPageIcon_->isChecked());
  cmdSelectPageIcon_->setEnabled(chkPageIcon_->isChecked());
  txtUrlIcon_->setEnabled(chkUrlIcon_->isChecked());
  cmdSelectUrlIcon_->setEnabled(chkUrlIcon_->isChecked());
}

void frmConfig_CatUsers::txtLogin_Change() {
  // A login being typed is a new account.
  cmdAddUser_->setEnabled(true);
  cmdModifyUser_->setEnabled(false);
  cmdRemoveUser_->setEnabled(false);
}

UserFields frmConfig_CatUsers::fields() const {
  return {txtLogin_->text(),    txtPassword_->text(),     chkPageIcon_->isChecked(),
          txtPageIcon_->text(), chkUrlIcon_->isChecked(), txtUrlIcon_->text()};
}

void frmConfig_CatUsers::showRefusal(const UserRefusal& refusal) {
  if (!refusal.text.isEmpty()) {
    showConfigError(refusal.text);
  }
  QLineEdit* field = refusal.field == UserField::Login      ? txtLogin_
                     : refusal.field == UserField::Password ? txtPassword_
                     : refusal.field == UserField::PageIcon ? txtPageIcon_
                                                            : txtUrlIcon_;
  field->setFocus(Qt::OtherFocusReason);
}

void frmConfig_CatUsers::afterListChange() {
  InitUsersListview();
  ClearUserFields();
  cmdSaveConfig_->setEnabled(true);
  cmdSaveConfig_->setFocus(Qt::OtherFocusReason);
}

void frmConfig_CatUsers::cmdAddUser_Click() {
  if (const std::optional<UserRefusal> refused = work_.fnctAddUser(fields(), fnctResourcesFolder())) {
    showRefusal(*refused);
    return;
  }
  afterListChange();
}

void frmConfig_CatUsers::cmdModifyUser_Click() {
  if (const std::optional<UserRefusal> refused = work_.fnctModifyUser(shownId_, fields(), fnctResourcesFolder())) {
    showRefusal(*refused);
    return;
  }
  afterListChange();
}

void frmConfig_CatUsers::cmdRemoveUser_Click() {
  if (lvwUsers_->count() == 0 || selectedCount() == 0) {
    return;
  }
  QStringList ids;
  for (const QListWidgetItem* item : lvwUsers_->selectedItems()) {
    ids.append(item->data(kIdRole).toString());
  }
  // The live share store: a login named by any share stays.
  if (const std::optional<QString> refused =
          work_.fnctRemoveUsers(ids, core::getUsersUsedByShares(gConfiguration.Shared))) {
    showConfigError(*refused);
    return;
  }
  InitUsersListview();
  cmdSaveConfig_->setEnabled(true);
  cmdSaveConfig_->setFocus(Qt::OtherFocusReason);
  ClearUserFields();
}

void frmConfig_CatUsers::cmdSaveConfig_Click() {
  saveCategory([this](core::tConfiguration& record) { work_.subStoreUsers(record.Users); });
}

void frmConfig_CatUsers::acceptIconChoice(QLineEdit* box, const IconChoice& choice) {
  if (choice.name) {
    box->setText(*choice.name);
    RefreshUserButtons();
  } else if (choice.notInResources) {
    showConfigError(core::gLanguage.text(u"MSGBOX/ERRORS/FILE_NOT_IN_RES_DIR"));
  }
}

void frmConfig_CatUsers::selectIcon(QLineEdit* box, const QString& filterName, const QString& filterPattern) {
  QString folder = fnctResourcesFolder();
  const QString file = desktop::fnctOpenFileDialog(this, QString(), filterName, filterPattern, folder);
  acceptIconChoice(box, fnctPickedIcon(file, fnctResourcesFolder()));
}

void frmConfig_CatUsers::cmdSelectPageIcon_Click() {
  selectIcon(txtPageIcon_, QStringLiteral("Image 48x48"), QStringLiteral("*.bmp;*.jpg;*.jpeg;*.png;"));
}

void frmConfig_CatUsers::cmdSelectUrlIcon_Click() {
  selectIcon(txtUrlIcon_, QStringLiteral("Icon 16x16"), QStringLiteral("*.ico;"));
}

bool frmConfig_CatUsers::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lvwUsers_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    cmdRemoveUser_Click();
    return true;
  }
  auto* box = qobject_cast<QLineEdit*>(watched);
  if (box != txtPageIcon_ && box != txtUrlIcon_) {
    return false;
  }
  return filterUrlDrop(event, [this, box](const QList<QUrl>& urls) {
    acceptIconChoice(box, fnctDroppedIcon(urls, fnctResourcesFolder()));
  });
}

}  // namespace orv::editors
