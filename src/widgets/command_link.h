// A text that acts as a command button: a click (or Space/Enter when it has
// the focus) emits clicked(); it opens no address and shows no tool tip.
#pragma once
#include <QLabel>

namespace tonvik {

class CommandLink : public QLabel {
  Q_OBJECT
 public:
  enum class Look {
    HoverUnderline,       // underlined only while the mouse is over it
    AlwaysUnderline,      // always underlined
    NeverUnderlineBlack,  // never underlined, black in every state
  };

  explicit CommandLink(QWidget* parent = nullptr) : CommandLink(QString(), parent) {}
  CommandLink(const QString& text, QWidget* parent = nullptr, Look look = Look::HoverUnderline);

  void SetLook(Look look);
  Look GetLook() const { return look_; }

  // Turns the link back into plain text: no clicks, arrow cursor, text colour.
  void Detach();
  bool IsLink() const { return link_; }
  bool Underlined() const { return font().underline(); }

 signals:
  void clicked();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Restyle();

  Look look_;
  bool link_ = true;
  bool hover_ = false;
  bool pressed_ = false;
};

}  // namespace tonvik
