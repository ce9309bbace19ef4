// Command line and run control: parsing the arguments into the run settings,
// the usage text, the option list every method prints, and the driver that
// runs one conversion and prints the repair report, and the console drawn for a terminal.
#pragma once

// The banner line printed at the start of every run.
extern const char* const kBanner;

// Fills the run settings from the arguments (argv[0] is skipped). Returns only
// when both a source and a destination were read; otherwise prints the usage.
void ParseCmdLine(int argc, char** argv);

// 1 when the last name in `path` (after its last '/' or '\\'; one trailing
// backslash is passed over) carries an extension.
int existExtension(const char* path);

// Prints the usage text.
void PrintUsage();

// Prints the usage text and ends the process with status 0.
[[noreturn]] void Help();

// On a terminal, puts in place of standard output a stream that draws the console for it (the
// status bullet in the terminal's character set, no leftovers of lines rewritten in place); pipes
// and files keep the program's bytes as they are.
void SetUpConsole();

// The whole program: banner, parsing, one method, the report. Returns the
// exit status of a run that reaches its end: 1 when an output asked for was
// not written, else 0.
int RunKorvane(int argc, char** argv);
