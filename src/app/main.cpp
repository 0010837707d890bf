#include "app/driver.h"

int main(int argc, char* argv[]) {
  return kavrino::RunKavrino(argc, argv);
}
