// The setup's reports and questions: a task dialog (window title, a bold main
// instruction, the content under it, an icon and the given buttons) and the
// plain message box. Both are QMessageBoxes, modal over the parent.
#pragma once
#include <QMessageBox>
#include <QString>
#include <vector>

namespace tonvik::install {

inline constexpr char kSetupCaption[] = "Tonvik Setup";

struct TaskDialogButton {
  QString text;
  int id;
};

struct TaskDialog {
  QString window_title;
  QString main_instruction;
  QString content;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  // Empty: the plain form with one "Close" button.
  std::vector<TaskDialogButton> buttons;
  int default_id = -1;
  // What closing the dialog without a button answers; -1: the last button.
  int cancel_id = -1;
};

// Shows the dialog and waits: the id of the button pressed (0 for the plain
// form's Close).
int ShowTaskDialog(QWidget* parent, const TaskDialog& dialog);

// The plain task dialog of an error: the error icon and one Close button.
void ShowErrorTask(QWidget* parent, const QString& window_title, const QString& main_instruction,
                   const QString& content);

// A message box with one OK button.
void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text, QMessageBox::Icon icon);

// The question every page asks before Cancel acts.
inline constexpr char kAbortQuestion[] = "You are going to abort installation. Are you sure?";
// True on Yes.
bool ConfirmAbort(QWidget* parent);

}  // namespace tonvik::install
