// yolcheck: the contest committee's cross-check over a folder of logs.
#include <cstdio>
#include <string>
#include <vector>

#include "CheckRun.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return yol::check::RunCheck(args, stdout, stderr);
}
