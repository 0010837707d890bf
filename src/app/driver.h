// The conversion driver: runs the requested products for every input file.
#pragma once

namespace kavrino {

// Parses the command line, converts every input file and returns the exit status.
int RunKavrino(int argc, char* argv[]);

}  // namespace kavrino
