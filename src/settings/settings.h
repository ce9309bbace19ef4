// Run settings: the whole state of one run of Korvane, in one place.
//
// The command line fills the option and method state, each conversion method
// sets the sizes and the source position before it hands a transfer to the
// engine, and the repairs keep their counters here for the final report.
// There is one run per process; ResetSettings() restores every default so that
// tests and the fuzz target can run the program logic more than once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Method codes, as chosen by the method options; 0 means no method was given.
enum MethodCode : int16_t {
    kNoMethod = 0,
    kCue2raw = 1,
    kCue2mpg = 2,
    kCue2dat = 3,
    kRaw2mpg = 4,
    kRaw2dat = 5,
    kDat2mpg = 6,
    kCif2mpg = 7,
    kMpg2mpg = 8,
    kMpg2dat = 9,
};

// Output kinds kept in `datormpg`; they only pick the default destination extension.
enum OutputKind : int16_t { kRawOutput = 0, kDatOutput = 1, kMpegOutput = 2 };

// Size of the one transfer buffer; every read step must fit in it.
constexpr uint32_t BUF_SIZE = 32705;

// Every setting with its start-of-process default. The names below refer into
// the one record `runSettings`, so that a reset restores all of them at once.
struct RunSettings {
    // Option and method state (set by the command line).
    int16_t method = kNoMethod;
    int16_t datormpg = kRawOutput;
    int16_t fixOption = 0;
    int16_t bumperCheck = 0;
    int16_t justOneTrack = 0;
    int16_t startTrack = 0;
    int16_t endTrack = 0;
    int32_t forcedReadSector = 0;  // 0: not forced
    int32_t forcedWriteSector = 0; // 0: not forced
    int16_t verifyOption = 0;      // check the source sectors while converting

    // Paths. `source` and `dest` refer to the buffers once the names have been
    // read; the CUE methods rebuild `destDir` from `baseFile` for each track.
    std::string sourceDir;
    std::string destDir;
    std::string baseFile;
    const std::string* source = nullptr;
    const std::string* dest = nullptr;

    // Streams.
    std::FILE* cueFile = nullptr;
    std::FILE* sourceFile = nullptr;
    std::FILE* destFile = nullptr;

    // Transfer sizes and the source position.
    uint32_t sectors = 0;
    uint32_t MAX_READ_SECTORS = 0;
    uint32_t MAX_WRITE_SECTORS = 0;
    uint32_t lofSource = 0;
    uint32_t counter = 0;

    // Repair counters, accumulated over the whole run.
    int16_t removedBumper = 0;
    int16_t initialHeaderCorrectionFlag = 0;
    int32_t badBlocks = 0;

    // Outputs asked for and not written (a source or destination that could not be opened);
    // any of them makes the run end with status 1.
    int16_t outputsNotWritten = 0;

    // -verify: the report lines of the transfers not yet printed, and the
    // damaged sectors found over the whole run.
    std::string verifyReport;
    uint32_t damagedSectors = 0;

    // The transfer buffer shared by the pack search, the engine and the DAT test.
    uint8_t buf[BUF_SIZE] = {};
};

extern RunSettings runSettings;

extern int16_t& method;
extern int16_t& datormpg;
extern int16_t& fixOption;
extern int16_t& bumperCheck;
extern int16_t& justOneTrack;
extern int16_t& startTrack;
extern int16_t& endTrack;
extern int32_t& forcedReadSector;
extern int32_t& forcedWriteSector;
extern int16_t& verifyOption;
extern std::string& sourceDir;
extern std::string& destDir;
extern std::string& baseFile;
extern const std::string*& source;
extern const std::string*& dest;
extern std::FILE*& cueFile;
extern std::FILE*& sourceFile;
extern std::FILE*& destFile;
extern uint32_t& sectors;
extern uint32_t& MAX_READ_SECTORS;
extern uint32_t& MAX_WRITE_SECTORS;
extern uint32_t& lofSource;
extern uint32_t& counter;
extern int16_t& removedBumper;
extern int16_t& initialHeaderCorrectionFlag;
extern int32_t& badBlocks;
extern int16_t& outputsNotWritten;

extern std::string& verifyReport;
extern uint32_t& damagedSectors;
extern uint8_t (&buf)[BUF_SIZE];

// Restores every run setting to its start-of-process default (streams are
// forgotten, not closed).
void ResetSettings();

// How a run ends early (after a fatal failure, status 1, or the usage text,
// status 0). It is std::exit; the fuzz target puts in a function that throws,
// so that one input's failure does not end the fuzzer. It must not return.
extern void (*endRun)(int status);

// Set by the I/O layer: what a fatal failure must tidy up before the exit.
extern void (*fatalCleanup)();

// Ends the run after a fatal failure: prints the message to standard output,
// removes an unfinished destination file, flushes and exits with status 1.
[[noreturn]] void Fatal(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
