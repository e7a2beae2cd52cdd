// ramovia-cli: the batch front end. Kept apart from main() so tests can run it in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ramovia::cli {

// Runs the command line as the program would with these arguments (argv[0] included) and this
// standard input; returns the exit status: 0 success, 1 failure, 2 usage error.
int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool progressOnTerminal = false);

}  // namespace ramovia::cli
