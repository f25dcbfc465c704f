// Calls the command layer `repeats` times with one payload read from a file,
// for counting instructions under callgrind (bench/instructions.py): the
// difference between two repeat counts is the cost of the calls alone.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "commands/run_command.hpp"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s COMMAND PAYLOAD_FILE REPEATS\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::string payload{std::istreambuf_iterator<char>(in), {}};
    const long repeats = std::strtol(argv[3], nullptr, 10);
    std::size_t bytes = 0;
    for (long i = 0; i < repeats; ++i) {
        mnemo::json::ByteBuffer response;
        auto status = mnemo::commands::run_command(argv[1], payload, response);
        if (!status) {
            std::fprintf(stderr, "%s\n", status.error().message.c_str());
            return 1;
        }
        bytes += response.size();
    }
    std::printf("%zu\n", bytes);
    return 0;
}
