#include "cdrom/fault_plan.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tonvik::cdrom {
namespace {

// Ten sectors either way: real drives' offsets lie within about three.
constexpr long long kMaxOffset = 5880;

bool Integer(const std::string& word, int base, long long min, long long max, long long* out) {
  if (word.empty()) return false;
  size_t used = 0;
  long long v = 0;
  try {
    v = std::stoll(word, &used, base);
  } catch (...) {
    return false;
  }
  if (used != word.size() || v < min || v > max) return false;
  *out = v;
  return true;
}

}  // namespace

bool FaultPlan::Parse(std::string_view text, FaultPlan* plan, std::string* error) {
  std::istringstream in{std::string(text)};
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& what) {
    if (error) *error = "line " + std::to_string(number) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    const std::string& name = w[0];
    long long a = 0, b = 0, c = 0, d = 0;
    auto args = [&](size_t n) { return w.size() == n + 1; };
    if (name == "sense") {
      if (!args(4) || !Integer(w[1], 16, 0, 255, &a) || !Integer(w[2], 16, 0, 15, &b) ||
          !Integer(w[3], 16, 0, 255, &c) || !Integer(w[4], 16, 0, 255, &d))
        return fail("sense <opcode> <key> <asc> <ascq> (hexadecimal)");
      plan->sense.push_back({uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)});
    } else if (name == "noconfig" && args(0)) {
      plan->no_config = true;
    } else if (name == "nodisc" && args(0)) {
      plan->no_disc = true;
    } else if (name == "blank" && args(0)) {
      plan->blank = true;
    } else if (name == "leadoutonly" && args(0)) {
      plan->lead_out_only = true;
    } else if (name == "nocdtext" && args(0)) {
      plan->no_cd_text = true;
    } else if (name == "weaksubchannel" && args(0)) {
      plan->weak_subchannel = true;
    } else if (name == "noqsubchannel" && args(0)) {
      plan->no_q_subchannel = true;
    } else if (name == "badq") {
      if (!args(1) || !Integer(w[1], 10, 1, 1000000, &a)) return fail("badq <every-n-th-sector>");
      plan->bad_q = int(a);
    } else if (name == "ejectopens" && args(0)) {
      plan->eject_opens = true;
    } else if (name == "profile") {
      if (!args(1) || !Integer(w[1], 16, 0, 0xFFFF, &a)) return fail("profile <hex>");
      plan->profile = uint16_t(a);
    } else if (name == "inquirytype") {
      if (!args(1) || !Integer(w[1], 10, 0, 31, &a)) return fail("inquirytype <0-31>");
      plan->inquiry_type = int(a);
    } else if (name == "busyeject") {
      if (!args(1) || !Integer(w[1], 10, 0, 1000000, &a)) return fail("busyeject <count>");
      plan->busy_eject = int(a);
    } else if (name == "speed") {
      if (!args(1) || !Integer(w[1], 10, 0, 100000000, &a)) return fail("speed <sectors-per-second>");
      plan->speed = int(a);
    } else if (name == "offset") {
      if (!args(1) || !Integer(w[1], 10, -kMaxOffset, kMaxOffset, &a))
        return fail("offset <samples>: -" + std::to_string(kMaxOffset) + ".." + std::to_string(kMaxOffset));
      plan->offset = int32_t(a);
    } else if (name == "hold") {
      // The file is the rest of the line, so it may contain spaces.
      std::istringstream rest(line);
      std::string word, first, last, file;
      rest >> word >> first >> last;
      std::getline(rest >> std::ws, file);
      while (!file.empty() && std::isspace(static_cast<unsigned char>(file.back()))) file.pop_back();
      if (w.size() < 4 || !Integer(first, 10, 0, 0x7FFFFFFF, &a) || !Integer(last, 10, a, 0x7FFFFFFF, &b))
        return fail("hold <firstLBA> <lastLBA> <file>");
      plan->holds.push_back({int32_t(a), int32_t(b), file});
    } else if (name == "unreadable" || name == "jitter" || name == "flipbits" || name == "noise") {
      const bool has_value = name == "jitter" || name == "flipbits";
      if (!args(has_value ? 3 : 2) || !Integer(w[1], 10, 0, 0x7FFFFFFF, &a) ||
          !Integer(w[2], 10, a, 0x7FFFFFFF, &b))
        return fail(name + " <firstLBA> <lastLBA>" + (has_value ? " <n>" : ""));
      if (name == "unreadable") {
        plan->unreadable.push_back({int32_t(a), int32_t(b), 0});
      } else if (name == "noise") {
        plan->noise.push_back({int32_t(a), int32_t(b), 0});
      } else if (name == "jitter") {
        if (!Integer(w[3], 10, -588 * 4, 588 * 4, &c) || c == 0) return fail("jitter samples: -2352..2352, not 0");
        plan->jitter.push_back({int32_t(a), int32_t(b), int32_t(c)});
      } else {
        if (!Integer(w[3], 10, 1, 2352, &c)) return fail("flipbits every-Nth-byte: 1..2352");
        plan->flipbits.push_back({int32_t(a), int32_t(b), int32_t(c)});
      }
    } else {
      return fail("unknown fault \"" + line + "\"");
    }
  }
  return true;
}

bool FaultPlan::LoadFromEnvironment(FaultPlan* plan, std::string* error) {
  const char* named = std::getenv("TONVIK_FAULTS");
  if (named == nullptr || *named == '\0') return true;
  std::ifstream in(named, std::ios::binary);
  if (!in) return true;  // a test removes the file to end its faults
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::string why;
  if (!Parse(text, plan, &why)) {
    if (error) *error = std::string(named) + ": " + why;
    return false;
  }
  // A hold's file named without a folder lies beside the plan.
  for (Hold& hold : plan->holds)
    if (std::filesystem::path(hold.file).is_relative())
      hold.file = (std::filesystem::path(named).parent_path() / hold.file).string();
  return true;
}

}  // namespace tonvik::cdrom
