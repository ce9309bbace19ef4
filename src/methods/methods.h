// The nine conversion methods, each run by the driver on the run settings, and
// the numbering of output names when a CUE image yields several tracks.
#pragma once

// One output per track of a CUE image (or for the chosen track).
void cue2raw();
void cue2mpg();
void cue2dat();

// One input file to one output file.
void raw2mpg();
void raw2dat();
void dat2mpg();
void cif2mpg();
void mpg2mpg();
void mpg2dat();

// Prints the option list of the run settings, then an empty line.
void ShowStats();

// Rebuilds `destDir` from `baseFile` with the two-digit `index` inserted before
// the last dot of the path.
void AddTrackIndex(int index);
