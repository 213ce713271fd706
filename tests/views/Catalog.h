#pragma once
// Builds small catalogues by hand, with the records a scan writes, and a controller over plain
// views with its configuration in a temporary folder and a clock the test sets.

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "catalog/RollUp.h"
#include "config/ConfigStore.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/PlainViews.h"
#include "views/uCtrl.h"

namespace folvane::test {

constexpr std::uint32_t kEntryFields = (1u << FileName) | (1u << FullPath) | (1u << FileSize) | (1u << FileType) |
                                       (1u << FileNameLength) | (1u << PathNameLength) | (1u << CreateTime) |
                                       (1u << AccessTime) | (1u << WriteTime) | (1u << DOSName);

// Local 2024-06-15 12:00:00, the "now" of the controller tests.
inline LocalSeconds NowSeconds()
{
    return FromCivil({2024, 6, 15, 12, 0, 0});
}

class CatalogBuilder {
public:
    enum Mode { Fresh, Keep };
    // A new catalogue of `path`; with Keep, more entries for the catalogue the tree holds.
    CatalogBuilder(TNodeTree &tree, const std::string &path, Mode mode = Fresh) : tree_(tree)
    {
        if (mode == Keep) {
            top = tree_.First();
            return;
        }
        tree_.Clear();
        top = tree_.AddTopLevel();
        tree_.SetExplicitPath(top, path, path.size());
        TFileNodeData &d = tree_.Data(top);
        d.flags |= TFileNodeData::Folder;
        d.present |= (1u << FileName) | (1u << FullPath) | (1u << FileType);
    }

    NodeId Folder(NodeId parent, const std::string &name, LocalSeconds t = NowSeconds() - 86400 * 10)
    {
        return add(parent, name, true, 0, t, t, t);
    }
    NodeId File(NodeId parent, const std::string &name, std::uint64_t size, LocalSeconds write = NowSeconds() - 3600,
                LocalSeconds create = 0, LocalSeconds access = 0)
    {
        return add(parent, name, false, size, create ? create : write, access ? access : write, write);
    }
    // Sizes, percentages and counts, as the scan completes them.
    void Finish()
    {
        std::uint64_t total = RollUpFolderSize(tree_, top);
        tree_.SetSize(top, total);
        FillPercentagesAndCounts(tree_, total);
    }

    NodeId top;

private:
    NodeId add(NodeId parent, const std::string &name, bool folder, std::uint64_t size, LocalSeconds c,
               LocalSeconds a, LocalSeconds w)
    {
        NodeId n = tree_.AddChild(parent);
        tree_.SetName(n, name);
        TFileNodeData &d = tree_.Data(n);
        d.size = size;
        d.times[0] = c;
        d.times[1] = a;
        d.times[2] = w;
        d.flags |= folder ? TFileNodeData::Folder : TFileNodeData::File;
        d.present |= kEntryFields | (folder ? 0u : (1u << FileExt));
        return n;
    }
    TNodeTree &tree_;
};

// A controller over plain views, with the configuration store in a temporary folder (written
// with `configText` when given, else created with the built-in defaults).
class ControllerFixture : public ::testing::Test {
protected:
    explicit ControllerFixture(const std::string &configText = {})
    {
        SetForms(TextForms::EnUs());
        std::filesystem::create_directories(dir / "prog");
        if (!configText.empty()) {
            std::ofstream out(dir / "prog/FolvaneConfig.xml", std::ios::binary);
            out << configText;
        }
        TConfigPlaces places;
        places.programFolder = dir / "prog";
        places.userFolder = dir / "user";
        ResetConfig(places);
        ctrl = std::make_unique<TFACtrl>(view, [this] { return now; });
        for (GridId id : {GridId::VT, GridId::VTList, GridId::VTAge, GridId::VTSize, GridId::VTType})
            ctrl->SetupColumns(view.Grid(id));
    }
    ~ControllerFixture() override
    {
        ctrl.reset();
        ResetConfig();
        SetForms(TextForms::EnUs());
    }

    TPlainTreeGrid &Grid(GridId id) { return view.PlainGrid(id); }
    TPlainTreeGrid &VT() { return view.PlainGrid(GridId::VT); }
    TPlainTreeGrid &VTList() { return view.PlainGrid(GridId::VTList); }
    TPlainChart &Chart(ChartId id) { return view.PlainChart(id); }
    TNodeTree &Tree() { return VT().Nodes(); }

    // The column whose entry has this name.
    int Column(const std::string &name)
    {
        for (int i = 0; i < VT().ColumnCount(); ++i)
            if (VT().ColumnText(i) == name)
                return i;
        ADD_FAILURE() << "no column " << name;
        return -1;
    }
    // The texts of one field of a grid's top-level entries, in order.
    std::vector<std::string> Listed(ITreeGrid &grid, int field = FileName)
    {
        std::vector<std::string> out;
        for (NodeId n = grid.Nodes().First(); n != kNoNode; n = grid.Nodes().NextSibling(n))
            out.push_back(grid.Nodes().Field(n, field));
        return out;
    }
    // What the main window does after a scan: sort VT, classify, show the top node.
    void AfterScan()
    {
        ctrl->CurrentNode = kNoNode;
        ctrl->SortGrid(VT());
        ctrl->ClassifyFiles();
        ctrl->ShowFolder(Tree().First());
    }

    TempDir dir;
    ScriptedUi ui;
    TPlainMainView view;
    LocalMillis now = NowSeconds() * 1000;
    std::unique_ptr<TFACtrl> ctrl;
};

} // namespace folvane::test
