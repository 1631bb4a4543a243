// Writes the program's manual page, made from the same option list as its --help, to the file
// named.
#include "app/CommandLine.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::FILE* page = argc == 2 ? std::fopen(argv[1], "w") : nullptr;
    if (!page) {
        std::fputs("usage: orvelo_manual OUTPUT_FILE\n", stderr);
        return 2;
    }
    const bool written = std::fputs(orvelo::CommandLine::manual().toUtf8().constData(), page) >= 0;
    return std::fclose(page) == 0 && written ? 0 : 1;
}
