// Figures as people read them: byte counts with thousands separators, sizes
// in binary units, counts with their noun in the right number.

#ifndef VELMAR_CLI_FIGURES_H_
#define VELMAR_CLI_FIGURES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace htmlcompress {

// 212892836 -> "212,892,836".
std::string Thousands(std::uintmax_t count);

// 212892836 -> "203 MiB"; 1536 -> "1.5 KiB"; 900 -> "900 bytes".
std::string Readable(std::uintmax_t bytes);

// "770 -> 663 bytes (-13.9%)"; from a mebibyte on also readable units,
// "212,892,836 -> 195,789,119 bytes (203 MiB -> 187 MiB, -8.0%)"; and
// "(unchanged)" when nothing changed.
std::string SizeChange(std::uintmax_t before, std::uintmax_t after);

// "1 file", "2 files".
std::string Counted(std::uintmax_t count, std::string_view noun);

}  // namespace htmlcompress

#endif  // VELMAR_CLI_FIGURES_H_
