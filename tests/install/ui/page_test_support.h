// Helpers of the page tests: the application, message boxes answered the way a
// person would, and workers on threads of their own that talk to a page only
// through its view.
#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "install/ui/setup_fonts.h"
#include "install/worker_thread.h"
#include "install/ui/wizard_page.h"
#include "support/test_app.h"

namespace tonvik::install::testing {

using tonvik::testing::App;

inline const SetupFonts& Fonts() {
  App();
  static const SetupFonts fonts = SetupFonts::FromDesktop();
  return fonts;
}

// What a message box showed.
struct SeenBox {
  QString title;
  QString text;
  QString informative;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;  // without the '&' of the shortcut
  QString default_button;
};

// Answers the modal message boxes that come up, in turn, by pressing the
// button with the given text ("Yes", "Close", "Reboot later").
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::vector<QString> answers) : answers_(answers.begin(), answers.end()) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  const std::vector<SeenBox>& seen() const { return seen_; }
  bool Done() const { return answers_.empty(); }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == last_ || answers_.empty() || !box->isVisible()) return;
    SeenBox s;
    s.title = box->windowTitle();
    s.text = box->text();
    s.informative = box->informativeText();
    s.icon = box->icon();
    QAbstractButton* answer = nullptr;
    for (QAbstractButton* b : box->buttons()) {
      const QString text = b->text().remove(QLatin1Char('&'));
      s.buttons << text;
      if (text == answers_.front()) answer = b;
    }
    if (box->defaultButton()) s.default_button = box->defaultButton()->text().remove(QLatin1Char('&'));
    seen_.push_back(s);
    last_ = box;
    if (!answer) {
      ADD_FAILURE() << "no button " << answers_.front().toStdString() << " on " << s.text.toStdString();
      box->reject();
    } else {
      answer->click();
    }
    answers_.pop_front();
  }

  std::deque<QString> answers_;
  std::vector<SeenBox> seen_;
  QPointer<QMessageBox> last_;
  QTimer timer_;
};

// Waits, dispatching events, until the condition holds. The bound only ends
// a test whose condition never comes (false after 120 s).
inline bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 120000); }

// A message box on screen, answered or not.
inline bool AnyMessageBoxShown() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMessageBox*>(w) && w->isVisible()) return true;
  return false;
}

template <typename T>
T* Control(const QWidget& page, const char* id) {
  auto* control = page.findChild<T*>(QString::fromLatin1(id));
  EXPECT_NE(control, nullptr) << id;
  return control;
}

// Opens a page as exec() does, but without a nested loop, so the test goes on
// while it is shown.
inline void OpenAndShow(WizardPage& page) {
  ASSERT_FALSE(page.Open().has_value());
  page.show();
}

// The page has ended: its result (0 while it is open).
inline int EndedWith(WizardPage& page) {
  EXPECT_TRUE(WaitFor([&] { return !page.isVisible(); }));
  return page.result();
}

// A thread running `body`, as a worker the page can ask to stop (PageWorker):
// what a page keeps of the worker it started. The body is the test's: it ends
// on its own and is never let go of.
inline std::shared_ptr<PageWorker> WorkerOnThread(std::function<void()> body) {
  struct Worker : PageWorker {
    WorkerThread thread;
    bool StopWithin(std::chrono::milliseconds patience) override { return thread.StopWithin(patience); }
  };
  auto worker = std::make_shared<Worker>();
  worker->thread.Start(std::move(body));
  return worker;
}

// Waits on the calling (worker) thread until the flag is set; gives up after
// 120 s so a failed test still ends.
inline void Await(const std::atomic<bool>& flag) {
  for (int i = 0; i < 24000 && !flag.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace tonvik::install::testing
