#include "user_interface.h"

#include <mutex>

namespace tonvik::msi {

namespace {

constexpr int kIdCancel = 2;

struct State {
  std::mutex mutex;
  INSTALLUILEVEL level = INSTALLUILEVEL_DEFAULT;
  void* window = nullptr;
  INSTALLUI_HANDLERW handler = nullptr;
  uint32_t filter = 0;
  void* context = nullptr;
};

State& TheState() {
  static State state;
  return state;
}

bool IsLevel(INSTALLUILEVEL level) {
  // The base levels DEFAULT..FULL (1..5) with the flags ENDDIALOG, PROGRESSONLY,
  // HIDECANCEL and SOURCERESONLY.
  constexpr int kFlags = 0x80 | 0x40 | 0x20 | 0x100;
  const int base = level & ~kFlags;
  return base >= 1 && base <= 5;
}

}  // namespace

INSTALLUILEVEL SetInternalUI(INSTALLUILEVEL level, void** window) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  const INSTALLUILEVEL previous = s.level;
  if (level != INSTALLUILEVEL_NOCHANGE) {
    if (!IsLevel(level)) return INSTALLUILEVEL_NOCHANGE;
    s.level = level;
  }
  if (window != nullptr) std::swap(s.window, *window);
  return previous;
}

INSTALLUI_HANDLERW SetExternalUI(INSTALLUI_HANDLERW handler, uint32_t filter, void* context) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  const INSTALLUI_HANDLERW previous = s.handler;
  s.handler = handler;
  s.filter = handler != nullptr ? filter : 0;
  s.context = handler != nullptr ? context : nullptr;
  return previous;
}

bool SendMessage(uint32_t type, const std::u16string& text) {
  INSTALLUI_HANDLERW handler;
  uint32_t filter;
  void* context;
  {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    handler = s.handler;
    filter = s.filter;
    context = s.context;
  }
  const uint32_t kind = type >> 24;
  if (handler == nullptr || kind > 31 || (filter & (1u << kind)) == 0) return true;
  return handler(context, type, text.c_str()) != kIdCancel;
}

}  // namespace tonvik::msi
