#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;
class QPushButton;

// The keys and the check of a numeric text box of a settings category: the box checks its
// text when it loses the focus and gets the stored value back when the text is refused;
// Enter moves the focus to Save when Save is enabled (the box then checks its text);
// Escape puts the stored value back and then does the same.
namespace orv::editors {

class NumberBoxKeys : public QObject {
  Q_OBJECT

 public:
  // checkedText: the text the box keeps after its check; storedText: the stored value as
  // the box shows it. The object lives as long as the box.
  NumberBoxKeys(QLineEdit* box, QPushButton* save, std::function<QString(const QString& text)> checkedText,
                std::function<QString()> storedText);

  // The check that runs when the box loses the focus.
  void runCheck();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void focusSaveWhenEnabled();

  QLineEdit* box_;
  QPushButton* save_;
  std::function<QString(const QString& text)> checkedText_;
  std::function<QString()> storedText_;
};

}  // namespace orv::editors
