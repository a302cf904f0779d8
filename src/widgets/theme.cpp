#include "widgets/theme.h"

#include <QLinearGradient>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>

namespace tonvik {

namespace {
std::once_flag theme_once;
bool theme_available = false;
std::atomic<int> theme_override{-1};  // -1 none, 0 off, 1 on
}  // namespace

bool ThemeAvailable() {
  const int pinned = theme_override.load();
  if (pinned >= 0) return pinned == 1;
  std::call_once(theme_once, [] {
    std::unique_ptr<QStyle> style(QStyleFactory::create(QStringLiteral("Fusion")));
    theme_available = style != nullptr;
  });
  return theme_available;
}

void OverrideThemeAvailableForTesting(std::optional<bool> available) {
  theme_override.store(available ? (*available ? 1 : 0) : -1);
}

void ApplyThemedBackground(QWidget* dialog) {
  if (!dialog || !ThemeAvailable()) return;
  QPalette palette = dialog->palette();
  const QColor base = palette.color(QPalette::Window);
  QLinearGradient texture(0, 0, 0, 1);
  texture.setCoordinateMode(QGradient::ObjectMode);  // follows the dialog's size
  texture.setColorAt(0.0, base.lighter(106));
  texture.setColorAt(1.0, base);
  palette.setBrush(QPalette::Window, texture);
  dialog->setPalette(palette);
  dialog->setAutoFillBackground(true);
}

}  // namespace tonvik
