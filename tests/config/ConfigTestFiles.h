#pragma once
// Whole-file reads and writes for the configuration tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace folvane::testing {

inline void WriteText(const std::filesystem::path &path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
}

inline std::string ReadText(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace folvane::testing
