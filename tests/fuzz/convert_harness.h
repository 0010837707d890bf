// A whole conversion from a byte string: the first byte chooses the product,
// the second the options, the rest is the QDX file (frames repaired after
// mutation). Runs in a private directory and removes what it wrote.
#pragma once
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/driver.h"
#include "fuzz_support.h"

namespace kavrino::fuzz::detail_convert {

inline const std::string& OutputDir() {
  static const std::string dir = [] {
    std::string d = kavrino::fuzz::ScratchDir() + "/out";
    if (mkdir(d.c_str(), 0700) != 0 || chdir(d.c_str()) != 0) std::abort();
    return d;
  }();
  return dir;
}

inline void RemoveOutputs(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) std::abort();
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") unlink((dir + "/" + name).c_str());
  }
  closedir(d);
}

}  // namespace kavrino::fuzz::detail_convert

namespace kavrino::fuzz {

// Runs one input; aborts when a check fails.
inline int FuzzConvert(const uint8_t* data, size_t size) {
  using namespace detail_convert;
  if (size < 2) return 0;
  const std::string& dir = OutputDir();
  static const char kProducts[] = "ONGEHIPBM";
  const char product[2] = {kProducts[data[0] % 9], '\0'};
  const uint8_t options = data[1];
  std::vector<uint8_t> file(data + 2, data + size);
  kavrino::fuzz::RepairFrames(&file);
  const std::string input = kavrino::fuzz::WriteInput(file.data(), file.size());

  std::vector<std::string> args = {"kavrino", "-f", input, "-n", product};
  if (options & 1) args.push_back("-R3");
  if ((options & 3) == 2) args.push_back("-R210");
  if (options & 4) args.push_back("-c");
  if (options & 8) {
    args.push_back("-s");
    args.push_back("-D");
    args.push_back("-X");
  }
  if (options & 16) args.push_back("-ma");
  if ((options & 96) == 32) args.push_back("-2");
  if ((options & 96) == 64) args.push_back("-3");
  if ((options & 96) == 96) {
    args.push_back("-i");
    args.push_back("2");
  }
  if (options & 128) args.push_back("-l");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = kavrino::RunKavrino(static_cast<int>(args.size()), argv.data());
  if (status != 0 && status != 2) std::abort();
  RemoveOutputs(dir);
  return 0;
}

}  // namespace kavrino::fuzz
