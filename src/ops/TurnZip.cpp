#include "ops/TurnZip.h"

#include "archive/ZipComponent.h"

namespace ops {

void SetUpTurnZip(ZipComponent& zip)
{
    zip.AddCompLevel = 9;
    zip.AddOptions = AddOpts {AddUpdate};
    zip.ExtrOptions = ExtrOpts {ExtrOverWrite};
    // Battle files are compressed; archives and pictures inside a battle zip are only stored.
    zip.AddStoreSuffixes =
        AddStoreExts {assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA};
    zip.Unattended = false;
    zip.Verbose = false;
    zip.Trace = false;
    zip.HowToDelete = htdFinal;
}

}  // namespace ops
