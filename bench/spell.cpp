// SPDX-License-Identifier: MIT
// What spelling a summary's numbers costs at the least, beside the floor:
// reads a summary that vantorel-batch wrote and keeps every cell that is a
// number. Then it times only this: each number spelled as the summary
// spells it (the shortest text that reads back, as std::to_chars writes it)
// into a buffer of a megabyte, and the buffer written to OUT whenever it
// is full. Prints the seconds that took. One thread.
//
//     spell SUMMARY OUT
#include "summary/shortest.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: spell SUMMARY OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<double> numbers;
    for (const char *p = text.data(), *end = p + text.size(); p < end; ++p) {
        const char *cell = p;
        while (p < end && *p != ',' && *p != '\n')
            ++p;
        double value = 0;
        const auto read = std::from_chars(cell, p, value);
        if (read.ec == std::errc() && read.ptr == p)
            numbers.push_back(value);
    }
    std::FILE *out = std::fopen(argv[2], "wb");
    if (!in || !out) {
        std::perror(out ? argv[1] : argv[2]);
        return 2;
    }
    std::vector<char> buffer(1 << 20);
    std::size_t used = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const double x : numbers) {
        if (buffer.size() - used < summary::ShortestRoom + 1) {
            std::fwrite(buffer.data(), 1, used, out);
            used = 0;
        }
        char *const at = buffer.data() + used;
        used = std::size_t(summary::shortest(at, x) - buffer.data());
        buffer[used++] = ',';
    }
    std::fwrite(buffer.data(), 1, used, out);
    std::fflush(out);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    return std::fclose(out) == 0 ? 0 : 2;
}
