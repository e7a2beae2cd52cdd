// ramovia-cli: the batch front end. Kept apart from main() so tests can run it in-process.
#pragma once

#include <functional>
#include <iosfwd>
#include <streambuf>
#include <string>
#include <vector>

namespace ramovia::cli {

// Runs the command line as the program would with these arguments (argv[0] included) and this
// standard input; returns the exit status: 0 success, 1 failure, 2 usage error, 143 after a
// SIGTERM (the outputs of what was done are written).
// Standard output without a buffer of its own (the command line composes its output first), so
// that a failed write is seen with its cause.
class FdOutputBuffer : public std::streambuf {
 public:
  explicit FdOutputBuffer(int fd) : fd_(fd) {}
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  int fd_;
  int error_ = 0;
};

// Called once a SIGTERM has stopped the run, before the outputs are written (where a checkpoint
// of the run can be saved).
void setTerminationHook(std::function<void()> hook);

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err, bool progressOnTerminal = false);

}  // namespace ramovia::cli
