// Arbitrary bytes as a whole command line: the first bytes choose the options, the rest is the
// table on standard input. Under a 256 MB limit every call must end with 0, 1 or 2 and a message,
// never a crash, a hang or an escaped exception.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli_app.h"
#include "model/memory.h"

namespace {

const char* const kLetters = "ABDGIJNRSTUVWXYZ";
const char* const kResampling[] = {"bootstrap", "jackknife", "otu-jackknife", "rearrangement",
                                   "users"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  ramovia::setMemoryLimit(std::size_t{256} << 20);
  std::vector<std::string> args = {"ramovia-cli", "--threads", "1", "-c",
                                   std::string(1, kLetters[data[0] % 16]), "-m",
                                   data[0] & 0x10 ? "upgma" : "nj"};
  const uint8_t run = data[1];
  if (run % 6 != 5) {
    args.insert(args.end(), {"-r", kResampling[run % 6], "-n", std::to_string(1 + data[2] % 8)});
    if (run & 0x08) args.insert(args.end(), {"--leave-out-taxa", std::to_string(data[3] % 4)});
    if (run & 0x10) args.insert(args.end(), {"--leave-out-fragments", std::to_string(data[3] / 64)});
    if (run & 0x20) args.push_back("--different");
    if (run & 0x40) args.insert(args.end(), {"--cancel-at", std::to_string(1 + data[2] % 3)});
  }
  if (data[2] & 0x80) args.push_back("--json");
  if (data[2] & 0x40) args.insert(args.end(), {"--decimal-separator", ","});
  args.push_back("-");
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 4, size - 4));
  std::ostringstream out, err;
  const int code = ramovia::cli::runCli(args, in, out, err);
  if (code != 0 && code != 1 && code != 2) std::abort();
  if (code != 0 && err.str().empty()) std::abort();
  if (code != 0 && !out.str().empty()) std::abort();
  return 0;
}
