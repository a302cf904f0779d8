// The fault-plan text of the disc-image drive: parsed or refused with the
// line that is wrong, never anything else.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cdrom/fault_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tonvik::cdrom::FaultPlan plan;
  std::string error;
  const bool ok = tonvik::cdrom::FaultPlan::Parse(
      std::string_view(reinterpret_cast<const char*>(data), size), &plan, &error);
  if (!ok && error.rfind("line ", 0) != 0) std::abort();
  return 0;
}
