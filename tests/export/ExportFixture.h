#pragma once
// A small catalogue for the export tests, and helpers to read files and run outside readers.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "catalog/NodeTree.h"
#include "common/TextForms.h"
#include "export/FileInfo.h"

#include "support/Files.h"
#include "support/WritesFail.h"

namespace folvane::test {

// The fixture, in depth-first order:
//
//   docs/                      folder, every field used by the tests
//     a<b&c>.txt               markup characters
//     sub, "q"/                a comma and double quotes
//       line⏎break.txt         a line break in the name
//     Grüße.dat                non-ASCII letters
//   (no fields at all)         a node whose every field is empty ...
//     orphan                   ... still has its child under it
struct FixtureEntry {
    int parent; // index into the fixture, -1 for a top-level node
    std::vector<std::pair<int, std::string>> fields;
};

inline const std::vector<FixtureEntry> &FixtureEntries()
{
    static const std::vector<FixtureEntry> entries = {
        {-1,
         {{FileName, "docs"}, {FullPath, "/data/docs"}, {FileSize, "3584"}, {FileType, "folder"},
          {SizePercentage, "100.00"}, {CreateTime, "1/2/2024 3:04:05 PM"}, {DOSName, "docs"}, {FileCount, "4"}}},
        {0,
         {{FileName, "a<b&c>.txt"}, {FullPath, "/data/docs/a<b&c>.txt"}, {FileSize, "1024"}, {FileExt, "txt"},
          {FileType, "file"}, {SizePercentage, "28.57"}, {CreateTime, "1/3/2024"}, {FileCount, "0"}}},
        {0,
         {{FileName, "sub, \"q\""}, {FullPath, "/data/docs/sub, \"q\""}, {FileSize, "2048"}, {FileType, "folder"},
          {SizePercentage, "57.14"}, {FileCount, "1"}}},
        {2,
         {{FileName, "line\nbreak.txt"}, {FullPath, "/data/docs/sub, \"q\"/line\nbreak.txt"}, {FileSize, "2048"},
          {FileExt, "txt"}, {FileType, "file"}, {SizePercentage, "57.14"}, {FileCount, "0"}}},
        {0,
         {{FileName, "Grüße.dat"}, {FullPath, "/data/docs/Grüße.dat"}, {FileSize, "512"}, {FileExt, "dat"},
          {FileType, "file"}, {SizePercentage, "14.29"}, {FileCount, "0"}}},
        {-1, {}},
        {5, {{FileName, "orphan"}}},
    };
    return entries;
}

// The text of a field of fixture entry `index` as the fixture wrote it ("" when not written).
inline std::string FixtureValue(std::size_t index, int field)
{
    for (const auto &[f, text] : FixtureEntries()[index].fields)
        if (f == field)
            return text;
    return {};
}

inline void BuildFixture(TNodeTree &tree)
{
    tree.Clear();
    std::vector<NodeId> ids;
    for (const FixtureEntry &e : FixtureEntries()) {
        NodeId n = tree.AddChild(e.parent < 0 ? TNodeTree::Root() : ids[std::size_t(e.parent)]);
        for (const auto &[field, text] : e.fields)
            tree.SetField(n, field, text);
        ids.push_back(n);
    }
}

// A flat tree: one top-level folder and `children` files below it.
inline void BuildFlat(TNodeTree &tree, std::size_t children)
{
    tree.Clear();
    NodeId top = tree.AddTopLevel();
    tree.SetField(top, FileName, "top");
    tree.SetField(top, FileType, "folder");
    for (std::size_t i = 0; i < children; ++i) {
        NodeId n = tree.AddChild(top);
        tree.SetField(n, FileName, "f" + std::to_string(i));
        tree.SetField(n, FileSize, std::to_string(i));
    }
}


inline std::vector<std::string> FilesIn(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a Python script (the interpreter that has the readers installed) with arguments and
// returns what it printed; the test fails when the script fails.
inline std::string RunPython(const std::string &script, const std::vector<std::string> &args)
{
    std::string scriptPath = std::filesystem::temp_directory_path() / ("folvane-reader-" + std::to_string(::getpid()) + ".py");
    WriteFile(scriptPath, script);
    std::string command = FOLVANE_PYTHON3 " " + scriptPath;
    for (const std::string &a : args)
        command += " '" + a + "'";
    command += " 2>&1";
    std::string output;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int status = ::pclose(pipe);
    std::filesystem::remove(scriptPath);
    EXPECT_EQ(status, 0) << "reader failed:\n" << output;
    return output;
}

// Rows of cells printed by a reader script as lines of tab-separated cells, each "x" and the hex
// digits of its UTF-8 (so that any text, an empty one too, survives the pipe).
inline std::vector<std::vector<std::string>> DecodeRows(const std::string &printed, const std::string &prefix = "")
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(printed);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        line = line.substr(prefix.size());
        std::vector<std::string> cells;
        std::string cell;
        std::istringstream cellsIn(line);
        while (std::getline(cellsIn, cell, '\t')) {
            std::string text; // "x" then the hex digits
            for (std::size_t i = 1; i + 1 < cell.size(); i += 2)
                text += char(std::stoi(cell.substr(i, 2), nullptr, 16));
            cells.push_back(text);
        }
        rows.push_back(cells);
    }
    return rows;
}

// Python: hex of a text's UTF-8, for DecodeRows.
inline const char *kPythonHex = "def hx(s):\n    return 'x' + s.encode('utf-8').hex()\n";

// A fixture with the small catalogue above, read with en-US-like forms, and a fresh export worker.
class FixtureTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetForms(TextForms::EnUs());
        BuildFixture(tree);
    }
    TNodeTree tree;
    TFileInfo info;
};

} // namespace folvane::test
