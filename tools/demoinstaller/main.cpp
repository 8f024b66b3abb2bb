// Stands in for a real installer in the demo and the tests: it records that it ran.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

int main(int argc, char **)
{
    const char *record = std::getenv("GLIMMERPANE_INSTALLER_RECORD");
    std::FILE *out = std::fopen(record && *record ? record : "installer-ran.txt", "a");
    if (!out)
        return 1;
    std::fprintf(out, "installer ran: pid %ld, %d argument(s), at %ld\n", long(getpid()), argc - 1,
                 long(std::time(nullptr)));
    return std::fclose(out) == 0 ? 0 : 1;
}
