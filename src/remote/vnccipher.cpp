#include "remote/vnccipher.h"

#include <array>
#include <cstdint>

namespace {

// The tables below number bits from 1 = most significant, as FIPS 46-3 prints them.
constexpr std::array<uint8_t, 64> initialPermutation = {
    58, 50, 42, 34, 26, 18, 10, 2,  60, 52, 44, 36, 28, 20, 12, 4,  62, 54, 46, 38, 30, 22,
    14, 6,  64, 56, 48, 40, 32, 24, 16, 8,  57, 49, 41, 33, 25, 17, 9,  1,  59, 51, 43, 35,
    27, 19, 11, 3,  61, 53, 45, 37, 29, 21, 13, 5,  63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::array<uint8_t, 64> finalPermutation = {
    40, 8,  48, 16, 56, 24, 64, 32, 39, 7,  47, 15, 55, 23, 63, 31, 38, 6,  46, 14, 54, 22,
    62, 30, 37, 5,  45, 13, 53, 21, 61, 29, 36, 4,  44, 12, 52, 20, 60, 28, 35, 3,  43, 11,
    51, 19, 59, 27, 34, 2,  42, 10, 50, 18, 58, 26, 33, 1,  41, 9,  49, 17, 57, 25};

constexpr std::array<uint8_t, 48> expansion = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
    16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

constexpr std::array<uint8_t, 32> roundPermutation = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                                      26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                                      3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::array<uint8_t, 56> permutedChoice1 = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::array<uint8_t, 48> permutedChoice2 = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::array<uint8_t, 16> rotations = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr uint8_t sBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Picks bits of an inWidth-bit value (bit 1 = most significant) into a new value.
template <size_t N>
uint64_t permute(uint64_t value, int inWidth, const std::array<uint8_t, N>& table)
{
    uint64_t out = 0;
    for (uint8_t position : table)
        out = (out << 1) | ((value >> (inWidth - position)) & 1U);
    return out;
}

using Schedule = std::array<uint64_t, 16>;

Schedule makeSchedule(uint64_t key)
{
    const uint64_t cd = permute(key, 64, permutedChoice1);
    uint32_t c = uint32_t(cd >> 28) & 0x0FFFFFFFU;
    uint32_t d = uint32_t(cd) & 0x0FFFFFFFU;
    Schedule schedule{};
    for (int round = 0; round < 16; ++round) {
        for (int i = 0; i < rotations[size_t(round)]; ++i) {
            c = ((c << 1) | (c >> 27)) & 0x0FFFFFFFU;
            d = ((d << 1) | (d >> 27)) & 0x0FFFFFFFU;
        }
        schedule[size_t(round)] = permute((uint64_t(c) << 28) | d, 56, permutedChoice2);
    }
    return schedule;
}

uint32_t feistel(uint32_t half, uint64_t subkey)
{
    const uint64_t mixed = permute(half, 32, expansion) ^ subkey;
    uint32_t substituted = 0;
    for (int box = 0; box < 8; ++box) {
        const unsigned six = unsigned(mixed >> (42 - 6 * box)) & 0x3FU;
        const unsigned row = ((six & 0x20U) >> 4) | (six & 1U);
        const unsigned column = (six >> 1) & 0x0FU;
        substituted = (substituted << 4) | sBoxes[box][row * 16 + column];
    }
    return uint32_t(permute(substituted, 32, roundPermutation));
}

uint64_t encrypt(uint64_t block, const Schedule& schedule)
{
    const uint64_t permuted = permute(block, 64, initialPermutation);
    uint32_t left = uint32_t(permuted >> 32);
    uint32_t right = uint32_t(permuted);
    for (uint64_t subkey : schedule) {
        const uint32_t next = left ^ feistel(right, subkey);
        left = right;
        right = next;
    }
    return permute((uint64_t(right) << 32) | left, 64, finalPermutation);
}

uint64_t toWord(const QByteArray& bytes)
{
    uint64_t word = 0;
    for (int i = 0; i < 8; ++i)
        word = (word << 8) | (i < bytes.size() ? uchar(bytes.at(i)) : 0U);
    return word;
}

QByteArray fromWord(uint64_t word)
{
    QByteArray bytes(8, '\0');
    for (int i = 7; i >= 0; --i) {
        bytes[i] = char(word & 0xFF);
        word >>= 8;
    }
    return bytes;
}

uchar reverseBits(uchar value)
{
    uchar out = 0;
    for (int i = 0; i < 8; ++i) {
        out = uchar((out << 1) | (value & 1));
        value >>= 1;
    }
    return out;
}

QByteArray reversedKey(const QByteArray& key)
{
    QByteArray out(8, '\0');
    for (int i = 0; i < 8 && i < key.size(); ++i)
        out[i] = char(reverseBits(uchar(key.at(i))));
    return out;
}

} // namespace

namespace vnccipher {

QByteArray keyFromPassword(const QString& password)
{
    QByteArray latin = password.toLatin1();
    const int zero = latin.indexOf('\0');
    if (zero >= 0)
        latin.truncate(zero);
    const QString text = QString::fromUtf8(latin);
    QByteArray key(8, '\0');
    for (int i = 0; i < 8 && i < text.size(); ++i) {
        const ushort unit = text.at(i).unicode();
        key[i] = unit < 256 ? char(unit) : '\0';
    }
    return key;
}

QByteArray desEncryptBlock(const QByteArray& key, const QByteArray& block)
{
    return fromWord(encrypt(toWord(block), makeSchedule(toWord(key))));
}

QByteArray vncEncryptBlock(const QByteArray& key, const QByteArray& block)
{
    return desEncryptBlock(reversedKey(key), block);
}

} // namespace vnccipher

QByteArray vncResponse(const QByteArray& challenge, const QString& password)
{
    const QByteArray key = vnccipher::keyFromPassword(password);
    QByteArray padded = challenge.left(16);
    padded.append(16 - padded.size(), '\0');
    return vnccipher::vncEncryptBlock(key, padded.left(8)) +
           vnccipher::vncEncryptBlock(key, padded.mid(8, 8));
}
