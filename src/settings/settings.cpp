#include "settings/settings.h"

#include <cstdarg>
#include <cstdlib>

RunSettings runSettings;

int16_t& method = runSettings.method;
int16_t& datormpg = runSettings.datormpg;
int16_t& fixOption = runSettings.fixOption;
int16_t& bumperCheck = runSettings.bumperCheck;
int16_t& justOneTrack = runSettings.justOneTrack;
int16_t& startTrack = runSettings.startTrack;
int16_t& endTrack = runSettings.endTrack;
int32_t& forcedReadSector = runSettings.forcedReadSector;
int32_t& forcedWriteSector = runSettings.forcedWriteSector;
int16_t& verifyOption = runSettings.verifyOption;
std::string& sourceDir = runSettings.sourceDir;
std::string& destDir = runSettings.destDir;
std::string& baseFile = runSettings.baseFile;
const std::string*& source = runSettings.source;
const std::string*& dest = runSettings.dest;
std::FILE*& cueFile = runSettings.cueFile;
std::FILE*& sourceFile = runSettings.sourceFile;
std::FILE*& destFile = runSettings.destFile;
uint32_t& sectors = runSettings.sectors;
uint32_t& MAX_READ_SECTORS = runSettings.MAX_READ_SECTORS;
uint32_t& MAX_WRITE_SECTORS = runSettings.MAX_WRITE_SECTORS;
uint32_t& lofSource = runSettings.lofSource;
uint32_t& counter = runSettings.counter;
int16_t& removedBumper = runSettings.removedBumper;
int16_t& initialHeaderCorrectionFlag = runSettings.initialHeaderCorrectionFlag;
int32_t& badBlocks = runSettings.badBlocks;
int16_t& outputsNotWritten = runSettings.outputsNotWritten;
std::string& verifyReport = runSettings.verifyReport;
uint32_t& damagedSectors = runSettings.damagedSectors;
uint8_t (&buf)[BUF_SIZE] = runSettings.buf;

void (*fatalCleanup)() = nullptr;
void (*endRun)(int status) = std::exit;

void ResetSettings() { runSettings = RunSettings{}; }

void Fatal(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    if (fatalCleanup != nullptr)
        fatalCleanup();
    std::fflush(stdout);
    endRun(1);
    std::abort(); // endRun never returns
}
