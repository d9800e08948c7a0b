// The C++ name tables, printed as one JSON object of string arrays under the arrays' names,
// for the Python tests to compare the package's enumerations with.
#include <cstdio>
#include <span>

#include "dll/keltnametables.h"

namespace {

void PrintTable(const char* name, std::span<const char* const> rows, const char* after) {
  std::printf("\"%s\": [", name);
  for (size_t row = 0; row < rows.size(); ++row) {
    // The tables hold no quote or backslash, so the names need no escaping.
    std::printf("%s\"%s\"", row == 0 ? "" : ", ", rows[row]);
  }
  std::printf("]%s", after);
}

}  // namespace

int main() {
  std::printf("{");
  PrintTable("kModelNames", kModelNames, ", ");
  PrintTable("kInputSourceNames", kInputSourceNames, ", ");
  PrintTable("kInputSourcePlainNames", kInputSourcePlainNames, ", ");
  PrintTable("kInputCodeNames", kInputCodeNames, ", ");
  PrintTable("kOutputCodeNames", kOutputCodeNames, ", ");
  PrintTable("kLoopBandwidthNames", kLoopBandwidthNames, ", ");
  PrintTable("kLockStatusNames", kLockStatusNames, "");
  std::printf("}\n");
  return 0;
}
