// Plain descriptor I/O shared by the hive writer, the pipes and the encoders'
// output files.
#pragma once
#include <cstddef>

namespace tonvik {

// Writes all `size` bytes, retrying after signals (EINTR) and short writes.
// False at the first other failure, with errno from write(2); part of the data
// may have been written then.
bool WriteAll(int fd, const void* data, size_t size);

}  // namespace tonvik
