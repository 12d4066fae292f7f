#include "desktop/frm_about.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "core/language.h"
#include "desktop/about_box.h"
#include "desktop/desktop_utils.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include <functional>
#include <utility>

namespace orv::desktop {
namespace {

// The client area, 7260 x 5175 twips.
constexpr int kDesignWidth = 484;
constexpr int kDesignHeight = 345;
constexpr int kLogoSize = 64;
const QColor kLinkColour(0x00, 0x00, 0xFF);

QPointer<frmAbout>& shownBox() {
  static QPointer<frmAbout> box;
  return box;
}

// A text that opens something when clicked, or when Enter or Space is pressed while it has
// the focus: blue, with a hand-shaped pointer, underlined while it has the focus.
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& objectName, std::function<void()> open, QWidget* parent)
      : QLabel(parent), open_(std::move(open)) {
    setObjectName(objectName);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    QPalette blue = palette();
    blue.setColor(QPalette::WindowText, kLinkColour);
    setPalette(blue);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      open_();
    }
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
      open_();
      return;
    }
    QLabel::keyPressEvent(event);
  }
  void focusInEvent(QFocusEvent* event) override {
    setUnderlined(true);
    QLabel::focusInEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    setUnderlined(false);
    QLabel::focusOutEvent(event);
  }

 private:
  void setUnderlined(bool underlined) {
    QFont shown = font();
    shown.setUnderline(underlined);
    setFont(shown);
  }

  std::function<void()> open_;
};

QLabel* makeLabel(const QString& objectName, QWidget* parent, bool bold = false) {
  auto* label = new QLabel(parent);
  label->setObjectName(objectName);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

QLabel* makeLink(const QString& objectName, std::function<void()> open, QWidget* parent) {
  return new LinkLabel(objectName, std::move(open), parent);
}

QFrame* makeLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

// A small framed badge standing for a validity picture.
QLabel* makeBadge(const QString& objectName, const QString& text, QWidget* parent) {
  QLabel* badge = makeLink(
      objectName, [] { subShellOpen(QString::fromUtf16(kW3cWebSite)); }, parent);
  badge->setText(text);
  badge->setAccessibleName(text);
  badge->setAlignment(Qt::AlignCenter);
  badge->setFrameShape(QFrame::Box);
  badge->setMargin(2);
  return badge;
}

QString languageText(const char16_t* key) {
  return core::gLanguage.text(QStringView(key));
}

// The credits: the libraries the program is made with, each name a link to its site.
QString thanksText() {
  const auto link = [](const char* address, const char* name) {
    return QStringLiteral("<a href=\"%1\" style=\"color:#0000ff\">%2</a>")
        .arg(QLatin1String(address), QLatin1String(name));
  };
  return QStringLiteral(
             "Orvendale is free to use and comes without any warranty. It is built with %1, %2, "
             "%3 and %4, and tested with %5. Thanks to their authors.")
      .arg(link("https://www.qt.io/", "Qt"), link("https://gitlab.gnome.org/GNOME/libxml2", "libxml2"),
           link("https://gitlab.gnome.org/GNOME/libxslt", "libxslt"), link("https://zlib.net/", "zlib"),
           link("https://github.com/google/googletest", "GoogleTest"));
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frmAbout"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  setPalette(white);

  picAppLogo_ = makeLabel(QStringLiteral("picAppLogo"), this);
  picAppLogo_->setFixedSize(kLogoSize, kLogoSize);
  picAppLogo_->setAlignment(Qt::AlignCenter);
  // The program's icon, in the largest size its file holds.
  const QIcon logo(core::gAppFolder + QStringLiteral("/resources/favicon.ico"));
  if (!logo.isNull()) {
    picAppLogo_->setPixmap(logo.pixmap(kLogoSize, kLogoSize));
  }
  picAppLogo_->setAccessibleName(core::applicationTitle());

  labAppTitle_ = makeLabel(QStringLiteral("labAppTitle"), this, true);
  labAppVersion_Label_ = makeLabel(QStringLiteral("labAppVersion_Label"), this);
  labAppVersion_Value_ = makeLabel(QStringLiteral("labAppVersion_Value"), this);
  labAppCreator_Label_ = makeLabel(QStringLiteral("labAppCreator_Label"), this);
  labAppCreator_Value_ = makeLink(
      QStringLiteral("labAppCreator_Value"),
      [] { subShellOpen(QStringLiteral("mailto:") + QString::fromUtf16(kProgramAuthorEmail)); }, this);
  labLangFileTitle_ = makeLabel(QStringLiteral("labLangFileTitle"), this, true);
  labLangFileVersion_Label_ = makeLabel(QStringLiteral("labLangFileVersion_Label"), this);
  labLangFileVersion_Value_ = makeLabel(QStringLiteral("labLangFileVersion_Value"), this);
  labLangFileCreator_Label_ = makeLabel(QStringLiteral("labLangFileCreator_Label"), this);
  labLangFileCreator_Value_ = makeLink(
      QStringLiteral("labLangFileCreator_Value"),
      [] { subShellOpen(QStringLiteral("mailto:") + currentLanguageFile().email); }, this);
  labWebSiteTitle_ = makeLabel(QStringLiteral("labWebSiteTitle"), this, true);
  labNewVersionChecker_ = makeLink(
      QStringLiteral("labNewVersionChecker"),
      [] { subShellOpen(newVersionAddress(currentLanguageFile().abbreviation)); }, this);
  labReportBugs_ = makeLink(
      QStringLiteral("labReportBugs"), [] { subShellOpen(reportBugsAddress(currentLanguageFile().abbreviation)); },
      this);
  labConsultWebSite_ = makeLink(
      QStringLiteral("labConsultWebSite"), [] { subShellOpen(webSiteAddress(currentLanguageFile().abbreviation)); },
      this);
  labHelp_ = makeLink(
      QStringLiteral("labHelp"), [] { subOpenHelpFile(); }, this);
  labInfosTitle_ = makeLabel(QStringLiteral("labInfosTitle"), this, true);
  labThanks_ = makeLabel(QStringLiteral("labThanks"), this);
  labThanks_->setWordWrap(true);
  labThanks_->setTextFormat(Qt::RichText);
  labThanks_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  labThanks_->setText(thanksText());
  connect(labThanks_, &QLabel::linkActivated, this, [](const QString& address) { subShellOpen(address); });
  QLabel* picXHTML10Valid = makeBadge(QStringLiteral("picXHTML10Valid"), QStringLiteral("W3C XHTML 1.0"), this);
  QLabel* picCSSValid = makeBadge(QStringLiteral("picCSSValid"), QStringLiteral("W3C CSS"), this);
  labXHTML10ValidTxt_ = makeLabel(QStringLiteral("labXHTML10ValidTxt"), this);
  labXHTML10ValidTxt_->setWordWrap(true);
  labXHTML10ValidTxt_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  auto* left = new QVBoxLayout;
  left->addWidget(picAppLogo_, 0, Qt::AlignHCenter);
  left->addStretch(1);
  left->addWidget(picXHTML10Valid);
  left->addWidget(picCSSValid);
  left->addWidget(labXHTML10ValidTxt_);

  auto* right = new QGridLayout;
  right->setColumnStretch(1, 1);
  right->setVerticalSpacing(2);
  int row = 0;
  const auto addSection = [&](QLabel* title) {
    if (row > 0) {
      right->setRowMinimumHeight(row++, 6);
    }
    right->addWidget(title, row++, 0, 1, 2);
    right->addWidget(makeLine(this), row++, 0, 1, 2);
  };
  const auto addPair = [&](QLabel* label, QLabel* value) {
    right->addWidget(label, row, 0);
    right->addWidget(value, row++, 1);
  };
  const auto addWhole = [&](QLabel* label) { right->addWidget(label, row++, 0, 1, 2); };
  addSection(labAppTitle_);
  addPair(labAppVersion_Label_, labAppVersion_Value_);
  addPair(labAppCreator_Label_, labAppCreator_Value_);
  addSection(labLangFileTitle_);
  addPair(labLangFileVersion_Label_, labLangFileVersion_Value_);
  addPair(labLangFileCreator_Label_, labLangFileCreator_Value_);
  addSection(labWebSiteTitle_);
  addWhole(labNewVersionChecker_);
  addWhole(labReportBugs_);
  addWhole(labConsultWebSite_);
  addWhole(labHelp_);
  addSection(labInfosTitle_);
  addWhole(labThanks_);
  right->setRowStretch(row, 1);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(16);
  layout->addLayout(left);
  layout->addLayout(right, 1);

  // Load: the texts of the language, the version, the program's author.
  RefreshFormLang();
  labAppVersion_Value_->setText(aboutVersionText());
  labAppCreator_Value_->setText(aboutAppCreatorText());
  labAppCreator_Value_->setAccessibleName(labAppCreator_Value_->text());

  resize(QSize(kDesignWidth, kDesignHeight).expandedTo(sizeHint()));
}

frmAbout::~frmAbout() {
  unloadBox();
}

void frmAbout::RefreshFormLang() {
  const AboutLanguageFile file = currentLanguageFile();
  labAppTitle_->setText(aboutAppTitleText());
  labAppVersion_Label_->setText(languageText(u"ABOUT/LABELS/VERSION"));
  labAppCreator_Label_->setText(languageText(u"ABOUT/LABELS/CREATOR"));
  labLangFileTitle_->setText(aboutLanguageTitleText(languageText(u"ABOUT/LABELS/TRANSLATION"), file));
  labLangFileVersion_Label_->setText(languageText(u"ABOUT/LABELS/VERSION"));
  labLangFileCreator_Label_->setText(languageText(u"ABOUT/LABELS/CREATOR"));
  labWebSiteTitle_->setText(languageText(u"ABOUT/LABELS/WEB_SITE"));
  labNewVersionChecker_->setText(languageText(u"ABOUT/LABELS/NEW_VERSION"));
  labReportBugs_->setText(languageText(u"ABOUT/LABELS/REPORT_BUGS"));
  labConsultWebSite_->setText(languageText(u"ABOUT/LABELS/CONSULT_WEB_SITE"));
  labHelp_->setText(languageText(u"ABOUT/LABELS/APP_HELP"));
  labInfosTitle_->setText(languageText(u"ABOUT/LABELS/INFORMATIONS"));
  labXHTML10ValidTxt_->setText(languageText(u"ABOUT/LABELS/W3C_VALID"));
  // A new language file has its own version and author: the rows of the file follow it.
  labLangFileVersion_Value_->setText(file.fileVersion);
  labLangFileCreator_Value_->setText(aboutLanguageCreatorText(file));
  for (QLabel* link :
       {labNewVersionChecker_, labReportBugs_, labConsultWebSite_, labHelp_, labLangFileCreator_Value_}) {
    link->setAccessibleName(link->text());
  }
  for (QLabel* value : {labAppVersion_Value_, labLangFileVersion_Value_}) {
    value->setAccessibleName(value->text());
  }
}

// Escape reaches the box only while it or one of its controls has the focus: pressed in
// another window it closes nothing.
void frmAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

// A press on the background (no control under it) or on the logo closes the box.
void frmAbout::mousePressEvent(QMouseEvent* event) {
  QWidget* under = childAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && (under == nullptr || under == picAppLogo_)) {
    close();
    return;
  }
  QWidget::mousePressEvent(event);
}

// The background strip, and a rectangle along the edge.
void frmAbout::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient strip(0, 0, width(), 0);
  strip.setColorAt(0, QColor(0xE8, 0xEE, 0xF6));
  strip.setColorAt(0.25, Qt::white);
  painter.fillRect(rect().adjusted(1, 1, -1, -1), strip);
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmAbout::closeEvent(QCloseEvent* event) {
  unloadBox();
  QWidget::closeEvent(event);
}

void frmAbout::unloadBox() {
  if (shownBox() == this) {
    shownBox().clear();
    core::gConfiguration.AppState.blnAboutFromTray = false;
  }
}

frmAbout* showAboutForm(QWidget* owner) {
  QPointer<frmAbout>& box = shownBox();
  if (box.isNull()) {
    box = new frmAbout(owner);
    if (const QScreen* screen = box->screen()) {
      box->move(screen->availableGeometry().center() - box->rect().center());
    }
  }
  box->show();
  box->raise();
  box->activateWindow();
  box->setFocus(Qt::ActiveWindowFocusReason);
  core::gConfiguration.AppState.blnAboutFromTray = true;
  return box.data();
}

frmAbout* aboutForm() {
  return shownBox().data();
}

void closeAboutForm() {
  if (frmAbout* box = aboutForm()) {
    box->close();
  }
}

void RefreshAboutFormLang() {
  if (frmAbout* box = aboutForm()) {
    box->RefreshFormLang();
  }
}

}  // namespace orv::desktop
