// A tree drawing as a standalone SVG document (UTF-8), with the settings that produced it in its
// metadata.
#pragma once

#include <string>
#include <vector>

#include "output/tree_layout.h"

namespace ramovia {

// Names are bytes as the table gave them (UTF-8 or Windows-1252); the document is UTF-8.
std::string treeSvg(const TreeDrawing& drawing, const std::string& title,
                    const std::vector<std::string>& provenance);

// Text escaped for XML character data and attribute values; characters XML cannot hold become
// U+FFFD.
std::string xmlEscape(const std::string& utf8);

}  // namespace ramovia
