#include <cstdio>

#include "app/ConsoleFrontEnd.h"

int main(int argc, char** argv) {
  ConsoleFrontEnd::Options options;
  GString error;
  if (!ConsoleFrontEnd::ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "velgrade: %s\n%s", error.Text(), ConsoleFrontEnd::Usage());
    return 2;
  }
  if (options.help) {
    std::fputs(ConsoleFrontEnd::Usage(), stdout);
    return 0;
  }
  return ConsoleFrontEnd::Run(options);
}
