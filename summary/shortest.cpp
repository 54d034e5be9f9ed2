// SPDX-License-Identifier: MIT
#include "summary/shortest.h"

#include <dragonbox/dragonbox.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace summary {

namespace {

constexpr char Pairs[]
    = "00010203040506070809101112131415161718192021222324252627282930313233343536"
      "37383940414243444546474849505152535455565758596061626364656667686970717273"
      "7475767778798081828384858687888990919293949596979899";

int digitCount(std::uint64_t v)
{
    static constexpr std::uint64_t Powers[]
        = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000,
            100000000000, 1000000000000, 10000000000000, 100000000000000, 1000000000000000,
            10000000000000000, 100000000000000000, 1000000000000000000};
    const int guess = (64 - __builtin_clzll(v | 1)) * 1233 >> 12; // log10 of the top bit
    return guess + 1 - (v < Powers[guess]) + (guess + 1 < 19 && v >= Powers[guess + 1]);
}

// The eight digits of v < 10^8, leading zeros too.
void eightDigits(char *p, std::uint32_t v)
{
    const std::uint32_t high = v / 10000, low = v % 10000;
    std::memcpy(p, Pairs + 2 * (high / 100), 2);
    std::memcpy(p + 2, Pairs + 2 * (high % 100), 2);
    std::memcpy(p + 4, Pairs + 2 * (low / 100), 2);
    std::memcpy(p + 6, Pairs + 2 * (low % 100), 2);
}

// The n digits of v ending at `end`, nothing before them.
void writeDigits(char *end, std::uint64_t v, int n)
{
    for (; n > 8; n -= 8, end -= 8, v /= 100000000)
        eightDigits(end - 8, std::uint32_t(v % 100000000));
    auto w = std::uint32_t(v);
    for (; n >= 2; n -= 2, w /= 100) {
        end -= 2;
        std::memcpy(end, Pairs + 2 * (w % 100), 2);
    }
    if (n > 0)
        end[-1] = char('0' + w);
}

} // namespace

char *shortest(char *p, double x)
{
    // Zero, infinities, NaN and whole numbers past 2^53 (which the fixed
    // form spells digit for digit, not from the shortest digits) are left
    // to the standard library.
    if (!std::isfinite(x) || x == 0 || std::fabs(x) >= 0x1p53)
        return std::to_chars(p, p + 24, x).ptr;
    const auto decimal = jkj::dragonbox::to_decimal(x);
    if (decimal.is_negative)
        *p++ = '-';
    const int k = digitCount(decimal.significand);
    const int e = decimal.exponent; // x = significand · 10^e
    const int point = k + e; // digits before the decimal point
    // "d.ddde+XX": a third digit of the exponent only where the fixed form
    // is a hundred long.
    const int scientificLength = k + (k > 1) + 4;
    const int fixedLength = e >= 0 ? k + e : point > 0 ? k + 1 : k + 2 - point;
    // The digits are written where they end up, a point moved in after
    // them byte by byte: read back in wider pieces than they were written,
    // they would wait for the stores to drain.
    if (fixedLength <= scientificLength) { // as std::to_chars: the shorter, fixed on a tie
        if (e >= 0) { // a whole number below 2^53: at most 16 digits
            writeDigits(p + k, decimal.significand, k);
            std::memset(p + k, '0', 16);
            return p + k + e;
        }
        if (point > 0) {
            writeDigits(p + k + 1, decimal.significand, k);
            for (int i = 0; i < point; ++i)
                p[i] = p[i + 1];
            p[point] = '.';
            return p + k + 1;
        }
        std::memcpy(p, "0.00000", 8); // the fixed form is chosen for at most 4 zeros
        writeDigits(p + 2 - point + k, decimal.significand, k);
        return p + 2 - point + k;
    }
    writeDigits(p + k + 1, decimal.significand, k);
    p[0] = p[1];
    if (k > 1) {
        p[1] = '.';
        p += k + 1;
    } else {
        p += 1;
    }
    *p++ = 'e';
    int exponent = point - 1;
    *p++ = exponent < 0 ? '-' : '+';
    exponent = std::abs(exponent);
    if (exponent >= 100) {
        *p++ = char('0' + exponent / 100);
        exponent %= 100;
    }
    std::memcpy(p, Pairs + 2 * exponent, 2);
    return p + 2;
}

} // namespace summary
