// The benchmark's stopwatch: runs one command (its standard streams on /dev/null) and prints
// one line, "wall_us cpu_us peak_rss_kib status": wall-clock and user + system CPU
// microseconds, the command's peak resident memory and its exit status. It reads the child's
// own resource usage from wait4, so neither a shell nor a timing tool is counted in.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>

extern char** environ;

static long long Microseconds(const timespec& t) { return t.tv_sec * 1000000LL + t.tv_nsec / 1000; }
static long long Microseconds(const timeval& t) { return t.tv_sec * 1000000LL + t.tv_usec; }

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure COMMAND [ARGUMENT...]\n");
        return 2;
    }
    posix_spawn_file_actions_t streams;
    posix_spawn_file_actions_init(&streams);
    posix_spawn_file_actions_addopen(&streams, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&streams, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&streams, 2, "/dev/null", O_WRONLY, 0);

    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child;
    if (posix_spawnp(&child, argv[1], &streams, nullptr, argv + 1, environ) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);

    const long long wall = Microseconds(end) - Microseconds(start),
                    cpu = Microseconds(usage.ru_utime) + Microseconds(usage.ru_stime);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("%lld %lld %ld %d\n", wall, cpu, usage.ru_maxrss, code);
    return 0;
}
