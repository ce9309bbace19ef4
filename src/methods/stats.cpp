// The option list every method prints before it writes anything: what the run
// settings hold once the command line (and, for an image, its sheet) are read.
#include <cstdio>

#include "methods/methods.h"
#include "settings/settings.h"

void ShowStats()
{
    if (fixOption != 0)
        std::printf("- Fix broken MPEG blocks enabled.\n");
    if (bumperCheck != 0)
        std::printf("- Remove CD-i bumper from file.\n");
    if (verifyOption != 0)
        std::printf("- Verify sectors enabled.\n");
    if (forcedReadSector != 0)
        std::printf("- User defined read sector size: %d bytes\n", forcedReadSector);
    if (forcedWriteSector != 0)
        std::printf("- User defined write sector size: %d bytes\n", forcedWriteSector);
    if (justOneTrack != 0)
        std::printf("- Selected track #%d\n", startTrack);
    std::printf("\n");
}
