#include "model/enzym.h"

namespace ramovia {

void TEnzym::EmptyTreeList() {
  treeIndex_.clear();
  EmptyOwnedList(TreeList);
}

}  // namespace ramovia
