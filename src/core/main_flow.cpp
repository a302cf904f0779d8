#include "core/main_flow.h"

#include "core/app_exception.h"
#include "core/messages.h"
#include "platform/text.h"

namespace tonvik {

int RunMainFlow(Utf16LineReader& input, MainFlowParts& parts) {
  int result = 0;
  try {
    if (!parts.InstallCheck()) throw AppException(kMsgBadInstall);
    StartupInput startup = ReadStartupInput(input);
    parts.CheckDisc(startup);
    result = parts.RunFormatDialog(startup);
    if (result == 1) result = parts.RunProgressDialog(startup);
  } catch (const AppException& e) {
    parts.ReportFatal(e.Message());
  }
  return result;
}

std::string FatalLine(const std::u16string& message) {
  std::u16string folded;
  bool in_break = false;
  for (char16_t c : message) {
    if (c == u'\n' || c == u'\r') {
      if (!in_break) folded += u' ';
      in_break = true;
    } else {
      folded += c;
      in_break = false;
    }
  }
  return "vandral: " + ToUtf8(folded);
}

}  // namespace tonvik
