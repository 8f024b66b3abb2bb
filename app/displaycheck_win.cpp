#include "app/displaycheck.h"

// Windows always has its desktop for a GUI program.
std::string missingDisplay(int, const char *const *)
{
    return std::string();
}
