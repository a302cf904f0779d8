// The one QApplication of a test program that shows windows, made on first
// use and kept until the process ends (Qt's globals outlive every test).
#pragma once
#include <QApplication>

namespace tonvik::testing {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "tonvik_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace tonvik::testing
