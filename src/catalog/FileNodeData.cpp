#include "FileNodeData.h"

namespace folvane {

const std::array<std::string_view, kFieldCount> FieldNames = {
    "File Name",   "Full Path",        "File Size",        "File Ext",        "File Type",
    "Description", "File Name Length", "Path Name Length", "Size Percentage", "Catalog Name",
    "Create Time", "Access Time",      "Write Time",       "DOS Name",        "File Count",
    "CreateAgeRange", "AccessAgeRange", "WriteAgeRange",   "SizeRange",
};

const std::array<std::string, kFieldCount> &FieldAttributeNames()
{
    static const std::array<std::string, kFieldCount> names = [] {
        std::array<std::string, kFieldCount> n;
        for (int i = 0; i < kFieldCount; ++i)
            for (char c : FieldNames[std::size_t(i)])
                if (c != ' ')
                    n[std::size_t(i)] += c;
        return n;
    }();
    return names;
}

std::uint8_t FieldIndexOf(std::string_view name)
{
    for (int i = 0; i < kFieldCount; ++i)
        if (FieldNames[i] == name)
            return std::uint8_t(i);
    return 0;
}

} // namespace folvane
