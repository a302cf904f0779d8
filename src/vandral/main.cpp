// vandral, the ripper. Started by a desktop integration that writes the
// start-up lines to standard input; see core/main_flow.h for the flow.
#include <QApplication>

#include "core/app_exception.h"
#include "core/fatal_message_box.h"
#include "core/main_flow.h"
#include "core/settings.h"
#include "platform/utf16_reader.h"

namespace {

class VandralParts : public tonvik::MainFlowParts {
 public:
  bool InstallCheck() override { return tonvik::InstallCheck(); }
  void CheckDisc(const tonvik::StartupInput&) override {
    throw tonvik::AppException("This build of Tonvik cannot read discs yet.");
  }
  int RunFormatDialog(const tonvik::StartupInput&) override { return 2; }
  int RunProgressDialog(const tonvik::StartupInput&) override { return 1; }
  void ReportFatal(const std::u16string& message) override { tonvik::ShowFatalMessage(message); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vandral");
  tonvik::Utf16LineReader input(0);
  VandralParts parts;
  return tonvik::RunMainFlow(input, parts);
}
