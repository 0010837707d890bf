// qdxgen: writes synthetic QDX receiver logs for tests, samples and benchmarks.
#include <cstdio>
#include <string>

#include "generator.h"
#include "scenario.h"

int main(int argc, char** argv) {
  kavrino::qdxgen::Scenario scenario;
  std::string error;
  int parsed = kavrino::qdxgen::ParseCommandLine(argc, argv, &scenario, &error);
  if (parsed == 1) return 0;
  if (parsed != 0) {
    std::fprintf(stderr, "qdxgen: %s (see qdxgen --help)\n", error.c_str());
    return 2;
  }
  std::string command = "qdxgen";
  for (int i = 1; i < argc; ++i) command += std::string(" ") + argv[i];
  return kavrino::qdxgen::Generate(scenario, command);
}
