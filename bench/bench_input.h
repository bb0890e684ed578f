// What the engine benchmarks share: their input and the names of their sizes.
// Header-only and free of our code: the OpenSSL reference is built from one
// source file with it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// size bytes of a fixed pattern.
inline std::vector<unsigned char> BenchInput(std::size_t size)
{
    std::vector<unsigned char> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<unsigned char>(i * 131 + 7);
    return data;
}

// "16KiB", "1MiB", "256MiB".
inline std::string SizeName(std::size_t size)
{
    return size >= (std::size_t{1} << 20) ? std::to_string(size >> 20) + "MiB" : std::to_string(size >> 10) + "KiB";
}
