#include "settings/settings.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

int16_t method = kNoMethod;
int16_t datormpg = kRawOutput;
int16_t fixOption = 0;
int16_t bumperCheck = 0;
int16_t justOneTrack = 0;
int16_t startTrack = 0;
int16_t endTrack = 0;
int32_t forcedReadSector = 0;
int32_t forcedWriteSector = 0;

std::string sourceDir;
std::string destDir;
std::string baseFile;
const std::string* source = nullptr;
const std::string* dest = nullptr;

std::FILE* cueFile = nullptr;
std::FILE* sourceFile = nullptr;
std::FILE* destFile = nullptr;

uint32_t sectors = 0;
uint32_t MAX_READ_SECTORS = 0;
uint32_t MAX_WRITE_SECTORS = 0;
uint32_t lofSource = 0;
uint32_t counter = 0;

int16_t removedBumper = 0;
int16_t initialHeaderCorrectionFlag = 0;
int32_t badBlocks = 0;

uint8_t buf[BUF_SIZE];

void (*fatalCleanup)() = nullptr;
void (*endRun)(int status) = std::exit;

void ResetSettings()
{
    method = kNoMethod;
    datormpg = kRawOutput;
    fixOption = bumperCheck = justOneTrack = startTrack = endTrack = 0;
    forcedReadSector = forcedWriteSector = 0;
    sourceDir.clear();
    destDir.clear();
    baseFile.clear();
    source = dest = nullptr;
    cueFile = sourceFile = destFile = nullptr;
    sectors = MAX_READ_SECTORS = MAX_WRITE_SECTORS = lofSource = counter = 0;
    removedBumper = initialHeaderCorrectionFlag = 0;
    badBlocks = 0;
    std::memset(buf, 0, sizeof buf);
}

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
    std::abort();  // endRun never returns
}
