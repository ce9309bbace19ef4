#include "cli/cli.h"
#include "io/io.h"

int main(int argc, char** argv)
{
    CatchInterrupts(); // here, not in RunKorvane: the fuzz target keeps its own handlers
    return RunKorvane(argc, argv);
}
