// How exports reach the disk: every file of a call is complete or none is replaced, and what
// stands at each path (a link, a device, a pipe, a file's mode and owner) is respected.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace ramovia {

struct FileToWrite {
  std::string path;
  std::string content;
};

// Where writing to path ends up: symbolic links followed to their last target (which need not
// exist yet).
std::string resolveOutputPath(const std::string& path);

// Throws ExportError when an output names the input (empty or "-": none) or the same file as an
// earlier output (through links too). Devices and pipes may stand twice.
void checkOutputPaths(const std::string& input, std::span<const std::string> outputs);

// Writes every file through a temporary beside its target and renames them all into place only
// when all were written; devices, pipes and other files that are not regular are written
// directly (after the temporaries, before any rename). An existing file keeps its mode, and its
// owner where the process may give it. A failure leaves every earlier file untouched and no
// temporary behind, and throws ExportError naming the file and the cause.
void writeFilesTogether(std::span<const FileToWrite> files);

}  // namespace ramovia
