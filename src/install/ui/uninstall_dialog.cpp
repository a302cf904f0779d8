#include "install/ui/uninstall_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <vector>

#include "install/child_process.h"
#include "install/ui/task_dialog.h"
#include "platform/registry.h"
#include "platform/syserror.h"
#include "platform/text.h"

namespace tonvik::install {

namespace {

constexpr size_t kValueBufferUnits = 1024;
constexpr int kPollMilliseconds = 50;

// A string value as read into a buffer of 1024 characters: up to its
// terminator, cut to what the buffer holds; empty when missing.
std::u16string ReadString(const reg::Key& key, std::u16string_view name) {
  std::u16string text = key.QueryString(name).value_or(u"");
  if (text.size() > kValueBufferUnits - 1) text.resize(kValueBufferUnits - 1);
  return text;
}

// Items measured 24 pixels high, their text 4 pixels right and down of the
// corner in the window-text colour; nothing is ever drawn selected.
class ItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), UninstallDialog::kItemHeight);
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(QPalette::WindowText));
    const QRect text = option.rect.adjusted(4, 4, 0, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data().toString());
    painter->restore();
  }
};

}  // namespace

UninstallDialog::UninstallDialog(const SetupFonts& fonts, std::chrono::milliseconds wait_bound, QWidget* parent)
    : WizardPage(fonts, kBackgroundId, QStringLiteral("Prerequisites"),
                 QStringLiteral("This installation replaces older application"), parent),
      wait_bound_(wait_bound) {
  headline_ = AddText("1001", QString(), fonts.text, 90, 52, 420, 24);
  list_ = new QListWidget(this);
  Place(list_, "1015", 90, 80, 420, 120);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setFont(fonts.small);
  list_->setItemDelegate(new ItemDelegate(list_));
  hint_ = AddText("1016", QStringLiteral("* Click 'Next' to uninstall listed applications"), fonts.small, 90, 292, 300,
                  10);
  status_ = AddText("1008", QString(), fonts.text, 90, 130, 420, 12);
  progress_ = new QProgressBar(this);
  Place(progress_, "1009", 90, 146, 420, 12);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);

  poll_ = new QTimer(this);
  poll_->setInterval(kPollMilliseconds);
  connect(poll_, &QTimer::timeout, this, &UninstallDialog::Poll);
}

UninstallDialog::~UninstallDialog() = default;

std::optional<int> UninstallDialog::Open() {
  const std::optional<reg::Key> key = reg::Key::Open(reg::Root::LocalMachine, kPredecessorKey);
  if (!key) return kPageGoOn;
  const QString version = QString::fromStdU16String(ReadString(*key, u"DisplayVersion"));
  uninstall_command_ = ToUtf8(ReadString(*key, u"UninstallString"));

  status_->hide();
  progress_->hide();
  headline_->setText(QStringLiteral("The following applications are detected in your system. They have to be "
                                    "unistalled before installing Tonvik."));
  headline_->show();
  list_->clear();
  list_->addItem(QStringLiteral("%1 %2").arg(QStringLiteral("Brellum"), version));
  list_->show();
  hint_->show();
  return std::nullopt;
}

void UninstallDialog::Next() {
  if (pid_ != -1) return;
  status_->setText(QStringLiteral("Removing Brellum..."));
  status_->show();
  headline_->hide();
  list_->hide();
  hint_->hide();
  nextButton()->setEnabled(false);
  update();

  // An installer's registration may quote the program's path.
  std::string program = uninstall_command_;
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"') program = program.substr(1, program.size() - 2);
  const StartedProcess started = StartProcess(program, {"/SILENT", "/NORESTART"});
  if (started.pid == -1) {
    const QString text = QStringLiteral(
                             "Error. Cannot launch uninstall (%1). Please remove Brellum manually using Add/Remove "
                             "applet in Control Panel and restart installation.")
                             .arg(QString::fromStdU16String(SystemErrorText(started.error)));
    ShowErrorTask(this, QStringLiteral("Tonvik"), QStringLiteral("Installation stopped"), text);
    done(kPageStop);
    return;
  }
  pid_ = started.pid;
  waited_.start();
  poll_->start();
}

void UninstallDialog::Poll() {
  if (pid_ == -1) return;
  if (PollExit(pid_)) {
    pid_ = -1;
    done(kPageGoOn);
  } else if (waited_.elapsed() >= wait_bound_.count()) {
    done(kPageGoOn);  // a slow uninstaller does not hold the setup up
  }
}

void UninstallDialog::done(int result) {
  poll_->stop();
  WizardPage::done(result);
}

}  // namespace tonvik::install
