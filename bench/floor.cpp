// SPDX-License-Identifier: MIT
// The floor for vantorel-batch: the least any tool must do with a table.
// Maps the file, finds every cell, converts each with std::from_chars and
// sums what converts. One thread, no output but the sum.
//
//     floor TABLE [DELIMITER]
#include <charconv>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: floor TABLE [DELIMITER]\n");
        return 2;
    }
    const char delimiter = argc > 2 ? argv[2][0] : ',';
    const int fd = open(argv[1], O_RDONLY);
    struct stat st {
    };
    if (fd < 0 || fstat(fd, &st) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    const std::size_t size = std::size_t(st.st_size);
    const char *data = size ? static_cast<const char *>(
                           mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0))
                            : nullptr;
    if (size && data == MAP_FAILED) {
        std::perror("mmap");
        return 2;
    }
    double sum = 0;
    long cells = 0;
    const char *p = data, *end = data + size;
    while (p < end) {
        const char *cell = p;
        while (p < end && *p != delimiter && *p != '\n')
            ++p;
        double value = 0;
        if (std::from_chars(cell, p, value).ec == std::errc())
            sum += value;
        ++cells;
        ++p;
    }
    std::printf("%ld cells, sum %.17g\n", cells, sum);
    return 0;
}
