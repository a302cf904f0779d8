// fake_login1 <bus address> <log file>
//
// Owns org.freedesktop.login1 on the given bus (never the machine's own: the
// address is required) and serves /org/freedesktop/login1 with
// org.freedesktop.login1.Manager.Reboot(b), which appends "Reboot true" or
// "Reboot false" to the log file and reboots nothing. Prints "ready" once the
// name is owned; runs until it is killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QFile>
#include <QObject>
#include <cstdio>

class Manager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
 public:
  explicit Manager(QString log) : log_(std::move(log)) {}

 public slots:
  void Reboot(bool interactive) {
    QFile file(log_);
    if (file.open(QIODevice::Append | QIODevice::WriteOnly)) {
      file.write(interactive ? "Reboot true\n" : "Reboot false\n");
    }
  }

 private:
  QString log_;
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: fake_login1 <bus address> <log file>\n");
    return 2;
  }
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), QStringLiteral("bus"));
  if (!bus.isConnected()) {
    std::fprintf(stderr, "fake_login1: cannot connect: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  Manager manager(QString::fromLocal8Bit(argv[2]));
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
    std::fprintf(stderr, "fake_login1: cannot serve: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}

#include "main.moc"
