// velgrade-admin's entry point.
#include <iostream>
#include <string>
#include <vector>

#include "server/AdminCommand.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return AdminCommand::Run(arguments, std::cout, std::cerr);
}
