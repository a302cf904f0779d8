// APEv2 tag writer in the shape of the SDK's CAPETag: text items set and
// removed in memory, Save appends header, items and footer at the end of the
// file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "monkey/io.h"

namespace tonvik::monkey {

class CAPETag {
 public:
  // analyze = true would read an existing tag first, which this writer does
  // not do: such a tag refuses to Save (ERROR_BAD_PARAMETER).
  explicit CAPETag(CIO* io, bool analyze = false);

  // Sets a UTF-8 text item. Keys are 2-255 printable ASCII characters and
  // unique regardless of case: "title" replaces "Title" in its place. A null
  // or empty value removes the item.
  int SetFieldString(const char* name, const char* utf8_value);
  int RemoveField(const char* name);

  // Appends the tag (nothing when it has no items) at the end of the file.
  // Saving again replaces the tag this object wrote.
  int Save();

 private:
  struct Field {
    std::string name;
    std::string value;
  };

  std::vector<Field>::iterator Find(const char* name);

  CIO* io_;
  bool analyze_;
  std::vector<Field> fields_;
  int64_t saved_at_ = -1;  // where the last Save put the tag
};

}  // namespace tonvik::monkey
