// corvane-cups: the CUPS filter of a preview queue. It stands where the printer's raster filter stood,
// shows the job's raster to the printing user through their session agent, and runs the printer's
// filter when the user prints. See docs/cups.md.
#include "filter/FilterRun.h"

int main(int argc, char **argv)
{
    CFilterRun run;
    return run.Run(argc, argv);
}
