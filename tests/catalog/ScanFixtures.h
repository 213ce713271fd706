#pragma once
// What the scan tests share: finding a node by its path below the top node, and asking the
// system's own tools (du, find) for the figures a scan must agree with.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "catalog/NodeTree.h"

namespace folvane::test {

inline NodeId ChildNamed(const TNodeTree &tree, NodeId parent, const std::string &name)
{
    for (NodeId c = tree.FirstChild(parent); c != kNoNode; c = tree.NextSibling(c))
        if (tree.NameBytes(c) == name)
            return c;
    return kNoNode;
}

// The node at `relative` ("a/b/c") below the top node; kNoNode when there is none.
inline NodeId NodeAt(const TNodeTree &tree, const std::string &relative)
{
    NodeId n = tree.First();
    for (auto &part : std::filesystem::path(relative)) {
        n = ChildNamed(tree, n, part.string());
        if (n == kNoNode)
            break;
    }
    return n;
}

// What a shell command writes to its standard output.
inline std::string Output(const std::string &command)
{
    std::string out;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

// The sum of the numbers a command writes, one per line (the first word of each line).
inline std::uint64_t SumOfLines(const std::string &command)
{
    std::istringstream in(Output(command));
    std::uint64_t sum = 0, value = 0;
    std::string rest;
    while (in >> value) {
        sum += value;
        std::getline(in, rest);
    }
    return sum;
}

inline std::string Quoted(const std::string &path)
{
    return "'" + path + "'";
}

} // namespace folvane::test
