// Build step: writes the sample audio file of the ZebMini folder.
#include "platform/files.hpp"
#include "sim/stand_in.hpp"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT\n");
        return 2;
    }
    return zs::platform::write_file(argv[1], zs::sim::sample_mp4(16384)) ? 0 : 1;
}
