#include "output/disc_metadata.h"

namespace tonvik {

DiscMetadata& Metadata() {
  static DiscMetadata record;
  return record;
}

}  // namespace tonvik
