// Tree views as captions: what the window's tree views show of a tree.
#pragma once

#include <vector>

#include "model/enzym.h"
#include "resampling/analysis.h"

namespace ramovia {

// Inner nodes "-\xAC" (hyphen and the Windows-1252 not sign) or, when supportFrom is given, the
// clade's support against supportFrom's tree list followed by " %" (the value is also stored into
// the node's Support); leaves their names. Pre-order, Left first. Empty for no tree.
std::vector<TreeCaption> TreeCaptions(TKVTreeNodeItem* tree, const TEnzym* supportFrom);

}  // namespace ramovia
