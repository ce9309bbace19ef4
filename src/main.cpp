#include "cli/cli.h"

int main(int argc, char** argv) { return RunKorvane(argc, argv); }
