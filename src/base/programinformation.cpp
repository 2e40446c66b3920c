#include "programinformation.h"

#include "buildinfo.h"

#include <cstdio>
#include <cstring>

std::optional<int> answerInformation(int argc, char *argv[], const char *program, const char *help)
{
    if (argc != 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", program, BuildInfo::version);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(help, stdout);
        return 0;
    }
    return std::nullopt;
}
