// What making one product of one input file came to.
#pragma once

#include <string>

namespace kavrino {

enum class ProductResult {
  kWritten,  // the file is complete under its name
  kNoData,   // the input held nothing for it; no file was made
  kFailed,   // the system failed or the file could not be made; `message` says why
};

struct ProductStatus {
  ProductResult result = ProductResult::kNoData;
  int written_runs = 0;  // walks that wrote data (the mixed file counts each system)
  std::string message;   // for kFailed: the line to print
};

inline ProductStatus Failed(std::string message) {
  return {ProductResult::kFailed, 0, std::move(message)};
}

}  // namespace kavrino
