// Run settings: everything the command line decides for one run.
#pragma once

#include <string>
#include <vector>

#include "convert/options.h"

namespace kavrino {

struct RunSettings {
  std::vector<std::string> input_files;  // every -f list, in command-line order
  std::string file_types = "O";          // -n, at most 199 characters
  int product_count = 1;                 // distinct product kinds per input file
  bool meteo_requested = false;          // -MET
  bool verbose = false;                  // -v: the progress bar
  ConvertOptions convert;                // how every product is made
};

}  // namespace kavrino
