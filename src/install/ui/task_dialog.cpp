#include "install/ui/task_dialog.h"

#include <QLabel>
#include <QPushButton>

namespace tonvik::install {

int ShowTaskDialog(QWidget* parent, const TaskDialog& dialog) {
  QMessageBox box(parent);
  box.setObjectName(QStringLiteral("TaskDialog"));
  box.setWindowTitle(dialog.window_title);
  box.setIcon(dialog.icon);
  box.setTextFormat(Qt::PlainText);
  box.setText(dialog.main_instruction);
  box.setInformativeText(dialog.content);
  // The main instruction stands out above the content.
  if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }

  std::vector<std::pair<QAbstractButton*, int>> ids;
  if (dialog.buttons.empty()) {
    QAbstractButton* close = box.addButton(QMessageBox::Close);
    box.setDefaultButton(QMessageBox::Close);
    box.setEscapeButton(close);
    ids.emplace_back(close, 0);
  } else {
    QAbstractButton* escape = nullptr;
    for (const TaskDialogButton& b : dialog.buttons) {
      const bool is_default = b.id == dialog.default_id;
      QPushButton* button = box.addButton(b.text, is_default ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
      if (is_default) box.setDefaultButton(button);
      if (b.id == dialog.cancel_id || dialog.cancel_id == -1) escape = button;
      ids.emplace_back(button, b.id);
    }
    box.setEscapeButton(escape);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const auto& [button, id] : ids) {
    if (button == clicked) return id;
  }
  return ids.back().second;
}

void ShowErrorTask(QWidget* parent, const QString& window_title, const QString& main_instruction,
                   const QString& content) {
  TaskDialog dialog;
  dialog.window_title = window_title;
  dialog.main_instruction = main_instruction;
  dialog.content = content;
  dialog.icon = QMessageBox::Critical;
  ShowTaskDialog(parent, dialog);
}

void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("MessageBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool ConfirmAbort(QWidget* parent) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kSetupCaption), QString::fromLatin1(kAbortQuestion),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setObjectName(QStringLiteral("AbortQuestion"));
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace tonvik::install
