#include "ctdb/answer.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>

#include "ctdb/toc.h"

namespace tonvik::ctdb {

namespace {

constexpr int kLargestConfidence = 1000000;

struct XmlFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::optional<std::string> Attribute(xmlNode* node, const char* name) {
  std::unique_ptr<xmlChar, XmlFree> value(xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name)));
  if (!value) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(value.get()));
}

bool IsElement(xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::optional<uint32_t> Hex8(std::string_view text) {
  uint32_t value = 0;
  if (text.size() != 8) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int> Number(std::string_view text, int largest) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 || value > largest)
    return std::nullopt;
  return value;
}

// Space-separated hex words; nullopt when any is not one.
std::optional<std::vector<uint32_t>> HexWords(std::string_view text) {
  std::vector<uint32_t> words;
  while (!text.empty()) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const size_t end = std::min(text.find(' '), text.size());
    const std::optional<uint32_t> word = Hex8(text.substr(0, end));
    if (!word || words.size() >= 100) return std::nullopt;
    words.push_back(*word);
    text.remove_prefix(end);
  }
  return words;
}

// nullopt: the entry cannot be read and the answer is not trusted.
std::optional<Entry> ReadEntry(xmlNode* node) {
  Entry entry;
  const std::optional<std::string> toc = Attribute(node, "toc");
  const std::optional<std::string> crc = Attribute(node, "crc32");
  const std::optional<std::string> confidence = Attribute(node, "confidence");
  const std::optional<std::string> stride = Attribute(node, "stride");
  const std::optional<std::string> tracks = Attribute(node, "trackcrcs");
  if (!toc || !crc || !confidence) return std::nullopt;
  const std::optional<accuraterip::DiscToc> disc = ParseTocString(*toc);
  const std::optional<uint32_t> crc_value = Hex8(*crc);
  const std::optional<int> confidence_value = Number(*confidence, kLargestConfidence);
  if (!disc || !crc_value || !confidence_value) return std::nullopt;
  entry.toc = *toc;
  entry.disc = *disc;
  entry.crc = *crc_value;
  entry.confidence = *confidence_value;
  if (stride) {
    const std::optional<int> value = Number(*stride, kLargestConfidence);
    if (!value) return std::nullopt;
    entry.stride = *value;
  }
  if (tracks) {
    std::optional<std::vector<uint32_t>> words = HexWords(*tracks);
    if (!words) return std::nullopt;
    // One per audio track of the entry's own TOC, or they are not used.
    if (int(words->size()) == LayoutOf(entry.disc).audio_tracks()) entry.track_crcs = std::move(words);
  }
  entry.id = Attribute(node, "id").value_or("");
  entry.has_parity = Attribute(node, "hasparity").has_value();
  return entry;
}

}  // namespace

void InitialiseAnswerParser() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

Answer ReadAnswer(std::string_view body) {
  const Answer rejected{LookupStatus::Rejected, {}};
  if (body.size() > kLargestAnswer) return rejected;
  InitialiseAnswerParser();
  // No network, no entity substitution, no DTD loading, no messages on stderr.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
  std::unique_ptr<xmlDoc, XmlFree> doc(
      xmlReadMemory(body.data(), int(body.size()), "lookup2.xml", nullptr, options));
  if (!doc || doc->intSubset || doc->extSubset) return rejected;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root || !IsElement(root, "ctdb")) return rejected;

  Answer answer{LookupStatus::NotPresent, {}};
  for (xmlNode* node = root->children; node; node = node->next) {
    if (!IsElement(node, "entry")) continue;
    if (!Attribute(node, "toc")) continue;  // CUETools passes such entries over too
    std::optional<Entry> entry = ReadEntry(node);
    if (!entry) return rejected;
    answer.entries.push_back(std::move(*entry));
  }
  if (!answer.entries.empty()) answer.status = LookupStatus::Found;
  return answer;
}

}  // namespace tonvik::ctdb
