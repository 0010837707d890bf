// A whole conversion from a byte string: the first byte chooses the product,
// the second the options, the rest is the QDX file (frames repaired after
// mutation). Runs in a folder of its own and removes what it wrote.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/driver.h"
#include "fuzz_support.h"

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzConvert(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const std::string out = ScratchDir() + "/out";
  std::filesystem::create_directories(out);
  const std::string back = std::filesystem::current_path().string();
  if (chdir(out.c_str()) != 0) std::abort();
  const char product[2] = {"ONGEHIPBM"[data[0] % 9], '\0'};
  const uint8_t options = data[1];
  std::vector<uint8_t> file(data + 2, data + size);
  RepairFrames(&file);
  std::vector<std::string> args = {"kavrino", "-f", WriteInput(file), "-n", product};
  if (options & 1) args.push_back("-R3");
  if ((options & 3) == 2) args.push_back("-R210");
  if (options & 4) args.push_back("-c");
  if (options & 8) args.insert(args.end(), {"-s", "-D", "-X"});
  if (options & 16) args.push_back("-ma");
  if ((options & 96) == 32) args.push_back("-2");
  if ((options & 96) == 64) args.push_back("-3");
  if ((options & 96) == 96) args.insert(args.end(), {"-i", "2"});
  if (options & 128) args.push_back("-l");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = RunKavrino(static_cast<int>(args.size()), argv.data());
  if ((status != 0 && status != 2) || chdir(back.c_str()) != 0) std::abort();
  for (const auto& entry : std::filesystem::directory_iterator(out))
    std::filesystem::remove(entry.path());
  return 0;
}

}  // namespace kavrino::fuzz
