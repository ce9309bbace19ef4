// The console drawn for a terminal. Scripts, pipes and files get the program's bytes as they are;
// a person at a terminal gets the same text drawn for it: the status bullet, the byte 0xFE (a
// square in the old PC code page), as the terminal's own square, and no leftovers where a line
// that was rewritten in place is replaced by shorter text.
#include <langinfo.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>

#include "cli/cli.h"

namespace {

constexpr unsigned char kBullet = 0xFE;
constexpr char kSquare[] = "\xE2\x96\xA0"; // U+25A0 in UTF-8
constexpr char kClearRest[] = "\x1B[K";    // erases from the cursor to the end of the line
// The method lines leave their first 18 columns, the bullet and 17 blanks, to the progress text
// printed over them. Text that ends within them is drawn over the line, whose words must stay in
// sight behind it; longer text replaces the line.
constexpr unsigned kProgressColumns = 18;

struct Terminal {
    bool utf8 = false;
    unsigned column = 0;    // of the cursor
    bool rewritten = false; // the cursor went back over the current line with a carriage return
};

Terminal terminal;

bool WriteAll(const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Leftovers are cleared where a line ends: text that went over a rewritten line clears the rest
// of it when it reaches past the progress columns, or when it ends the line there (a short final
// line must not keep the words of the one it covered).
bool ClearsRest(char end)
{
    return terminal.rewritten &&
           (terminal.column > kProgressColumns || (end == '\n' && terminal.column > 0));
}

// The write function of the terminal's stream: every byte the program prints passes through it.
ssize_t Draw(void*, const char* bytes, size_t size)
{
    char out[4096];
    size_t used = 0;
    for (size_t i = 0; i < size; ++i) {
        if (used + 8 > sizeof out) {
            if (!WriteAll(out, used))
                return -1;
            used = 0;
        }
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\r' || byte == '\n') {
            if (ClearsRest(bytes[i]))
                for (const char c : kClearRest)
                    if (c != '\0')
                        out[used++] = c;
            out[used++] = bytes[i];
            terminal.rewritten = byte == '\r';
            terminal.column = 0;
        } else if (byte == kBullet && terminal.column == 0 && terminal.utf8) {
            for (const char c : kSquare)
                if (c != '\0')
                    out[used++] = c;
            terminal.column = 1;
        } else {
            out[used++] = bytes[i];
            if (!terminal.utf8 || (byte & 0xC0) != 0x80) // not a UTF-8 continuation byte
                ++terminal.column;
        }
    }
    return WriteAll(out, used) ? static_cast<ssize_t>(size) : -1;
}

// Whether the user's locale writes UTF-8. The program itself stays in the C locale, so that names
// and sheets are read the same way on a terminal as in a script.
bool LocaleIsUtf8()
{
    bool utf8 = false;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        const char* codeset = nl_langinfo(CODESET);
        utf8 = strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0;
    }
    std::setlocale(LC_CTYPE, "C");
    return utf8;
}

} // namespace

void SetUpConsole()
{
    // A stream that is not descriptor 1 (a test's or the fuzz target's) is left alone.
    if (fileno(stdout) != STDOUT_FILENO || !isatty(STDOUT_FILENO))
        return;
    std::FILE* drawn = fopencookie(nullptr, "w", {nullptr, Draw, nullptr, nullptr});
    if (drawn == nullptr)
        return;
    std::setvbuf(drawn, nullptr, _IOLBF, BUFSIZ); // as a terminal's standard output
    terminal = Terminal{};
    terminal.utf8 = LocaleIsUtf8();
    std::fflush(stdout);
    stdout = drawn;
}
