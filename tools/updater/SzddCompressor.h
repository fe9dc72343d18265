// Our SZDD packer: writes files in the MS-compress "SZDD" format that Windows' LZ expansion
// functions (and libmspack) read.
//
// Format: a 14-byte header ("SZDD", 0x88 0xF0 0x27 0x33, the mode 'A', the last character of
// the file's expanded name, the expanded size as 32-bit little-endian) and LZSS data: a control
// byte whose bits, lowest first, tell for the next eight items whether each is a literal byte
// (1) or a match (0) of two bytes: the low 8 bits of a 12-bit window position, then its high 4
// bits in the upper nibble and the match length minus 3 (3 to 18) in the lower nibble. The
// decoder's 4096-byte window starts filled with blanks and writes from position 4096 - 16.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kessmar {

// The SZDD form of data. missingChar is the last character of the expanded file's name (the
// compressed name ends in "_" instead). Never throws except std::bad_alloc; data larger than
// 4 GiB cannot be described by the header and is refused with std::length_error.
std::vector<uint8_t> CompressSzdd(std::span<const uint8_t> data, char missingChar);

}  // namespace kessmar
