// Embedded cabinets, read with libgcab: every file of the cabinet, by its name
// in the cabinet (the File table's key), decompressed into memory with every
// data block's checksum checked.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tonvik::msi {

// False when the bytes are not a cabinet, a block's checksum does not match,
// or a block does not decompress; `files` is then empty.
bool ExtractCabinet(const std::vector<uint8_t>& cabinet,
                    std::map<std::string, std::vector<uint8_t>>* files);

// The MD5 digest of the bytes, as the MsiFileHash table holds it in four
// little-endian 32-bit parts.
std::array<uint8_t, 16> Md5(const std::vector<uint8_t>& bytes);

}  // namespace tonvik::msi
