#include <unistd.h>

#include <iostream>

#include "cli_app.h"
#include "cluster.h"

int main(int argc, char** argv) {
  ramovia::cli::ProcessScope processes(argc, argv);
  std::vector<std::string> args(argv, argv + argc);
  ramovia::cli::FdOutputBuffer buffer(STDOUT_FILENO);
  std::ostream out(&buffer);
  return ramovia::cli::runCli(args, std::cin, out, std::cerr, isatty(STDERR_FILENO) != 0);
}
