// The common look of the setup's pages: a fixed 533 × 338 dialog-unit dialog
// "Tonvik Setup" painting its background picture, title and subtitle, with the
// buttons Back (always disabled), Next (default) and Cancel. A page ends with
// 1 (go on) or 2 (stop); Cancel, Escape and the close box ask first.
#pragma once
#include <QColor>
#include <QDialog>
#include <QString>
#include <optional>

#include "install/ui/setup_fonts.h"
#include "widgets/dialog_units.h"
#include "widgets/png_image.h"

class QLabel;
class QPushButton;

namespace tonvik::install {

inline constexpr int kPageGoOn = 1;
inline constexpr int kPageStop = 2;

// The brush behind check boxes, radio buttons and the licence labels.
inline const QColor kControlBrush{0xEF, 0xF6, 0xFF};

class WizardPage : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kWidthUnits = 533;
  static constexpr int kHeightUnits = 338;
  static constexpr QPoint kTitleAt{134, 4};      // pixels
  static constexpr QPoint kSubtitleAt{134, 36};  // pixels

  WizardPage(const SetupFonts& fonts, int background_id, const QString& title, const QString& subtitle,
             QWidget* parent = nullptr);

  // Opens the page and runs it modally: 1 or 2. A page that has nothing to
  // show ends without being shown.
  int exec() override;
  // The opening steps; a result ends the page before it is shown. exec()
  // calls it; tests may call it and show the page themselves.
  virtual std::optional<int> Open() { return std::nullopt; }

  const QString& Title() const { return title_; }
  const QString& Subtitle() const { return subtitle_; }
  int BackgroundId() const { return background_id_; }
  QPushButton* backButton() const { return back_; }
  QPushButton* nextButton() const { return next_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  void reject() override;  // Escape and the close box: Cancel

 protected:
  // Next: ends the page with 1 unless a page does more.
  virtual void Next();
  // Cancel: after Yes to the question, CancelConfirmed (which ends with 2).
  virtual void Cancel();
  virtual void CancelConfirmed();

  void paintEvent(QPaintEvent* event) override;

  const SetupFonts& fonts() const { return fonts_; }
  const DialogUnits& units() const { return units_; }
  // A text control: transparent, in the given font, placed in dialog units.
  QLabel* AddText(const char* id, const QString& text, const QFont& font, int x, int y, int cx, int cy);
  // A control painted on the solid control brush.
  static void OnControlBrush(QWidget* control);
  void Place(QWidget* control, const char* id, int x, int y, int cx, int cy);
  // From a worker's thread: the text goes into the status line on the page's
  // thread, and the page is repainted.
  void SetStatusLater(QLabel* status, const std::u16string& text);

 private:
  void Centre();

  const SetupFonts& fonts_;
  DialogUnits units_;
  int background_id_;
  PNGImage background_;
  QString title_;
  QString subtitle_;
  QPushButton* back_ = nullptr;    // 1000
  QPushButton* next_ = nullptr;    // 1
  QPushButton* cancel_ = nullptr;  // 2
};

}  // namespace tonvik::install
