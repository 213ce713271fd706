#pragma once
// Reading and writing whole files in tests.

#include <fstream>
#include <sstream>
#include <string>

namespace folvane::test {

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace folvane::test
