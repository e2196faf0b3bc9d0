#include "Figures.h"

#include <cstdio>

namespace htmlcompress {

std::string Thousands(std::uintmax_t count) {
  std::string digits = std::to_string(count);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string Readable(std::uintmax_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

std::string SizeChange(std::uintmax_t before, std::uintmax_t after) {
  std::string line = Thousands(before) + " -> " + Thousands(after) + " bytes (";
  if (before >= (std::uintmax_t{1} << 20))
    line += Readable(before) + " -> " + Readable(after) + ", ";
  if (before == after) return line + "unchanged)";
  char percent[32];
  const double saving = 100.0 * (static_cast<double>(before) - static_cast<double>(after)) /
                        static_cast<double>(before);
  std::snprintf(percent, sizeof percent, "%+.1f%%)", -saving);
  return line + percent;
}

std::string Counted(std::uintmax_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " ";
  text += noun;
  if (count != 1) text += 's';
  return text;
}

}  // namespace htmlcompress
