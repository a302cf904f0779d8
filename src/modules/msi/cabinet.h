// Embedded cabinets, read with libgcab: every file of the cabinet, by its name
// in the cabinet (the File table's key), decompressed into memory with every
// data block's checksum checked.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tonvik::msi {

// False when the bytes are not a cabinet, a block's checksum does not match,
// or a block does not decompress; `files` is then empty.
bool ExtractCabinet(const std::vector<uint8_t>& cabinet,
                    std::map<std::string, std::vector<uint8_t>>* files);

}  // namespace tonvik::msi
