#pragma once
// The zip component behind Compress and Decompress, set up as the main window's design sets it.
#include "archive/ZipComponent.h"

namespace ops {

// Level 9, update mode for adding, overwrite for extracting, the usual packed suffixes stored,
// messages shown, files deleted for good. The window and the tests set their component up here.
void SetUpTurnZip(ZipComponent& zip);

}  // namespace ops
