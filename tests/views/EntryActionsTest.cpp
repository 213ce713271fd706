// Acting on what was found: refresh, move to the trash, the file manager, a terminal and paths,
// on a real folder with a real trash in the test's own folder.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <cstdlib>
#include <functional>
#include <optional>

#include <gtest/gtest.h>
#include <tuple>

#include "Catalog.h"
#include "catalog/CatalogEdit.h"
#include "catalog/CatalogNotes.h"
#include "catalog/uFileReader.h"
#include "common/uFunction.h"
#include "support/Files.h"
#include "views/EntryActions.h"

namespace folvane::test {
namespace {

namespace fs = std::filesystem;

// Walks as the program's host does, at once; or answers "cancelled".
struct Host final : IEntryActionHost {
    bool busy = false, cancel = false;
    int scans = 0;
    std::vector<std::string> walked; // full paths, in the order asked
    bool Busy() const override { return busy; }
    std::optional<std::vector<TNodeTree>> WalkFolders(const std::vector<TEntryPath> &folders) override
    {
        std::vector<TNodeTree> trees;
        for (const TEntryPath &folder : folders) {
            walked.push_back(folder.Full());
            ScanOptions options;
            options.choices = choices;
            options.below = folder.RelativeFromStep(folder.TopSteps() - 1);
            ScanFolder(trees.emplace_back(), folder.top, options);
        }
        if (cancel)
            return std::nullopt;
        return trees;
    }
    void ScanAgain() override { ++scans; }
    void CatalogueChanged() override { ++changes; }
    ScanChoices choices; // as the program takes them from the catalogue shown
    int changes = 0;
};

// HOME and XDG_DATA_HOME in the test's folder, on the fixture's file system, for as long as it lives.
struct TrashHome {
    std::optional<std::string> home, data;
    explicit TrashHome(const std::string &folder)
    {
        auto keep = [](const char *name) {
            const char *value = std::getenv(name);
            return value ? std::optional<std::string>(value) : std::nullopt;
        };
        home = keep("HOME");
        data = keep("XDG_DATA_HOME");
        ::setenv("HOME", (folder + "/home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder + "/home/.local/share").c_str(), 1);
    }
    ~TrashHome()
    {
        auto restore = [](const char *name, const std::optional<std::string> &value) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        };
        restore("HOME", home);
        restore("XDG_DATA_HOME", data);
    }
};

// /<dir>/data
//   top.bin (1000)
//   proj/   readme.md (120)  caf\xE9.txt (33)  src/ main.cpp (3000)  util.cpp (700)  old/ legacy.c (50)
//   other/  keep.txt (400)  deep/ est.txt (5)
//   empty/
class EntryActionsTest : public ControllerFixture {
protected:
    EntryActionsTest()
    {
        data = dir.Folder("data");
        dir.File("data/top.bin", 1000);
        dir.File("data/proj/readme.md", 120);
        dir.File("data/proj/caf\xE9.txt", 33);
        dir.File("data/proj/src/main.cpp", 3000);
        dir.File("data/proj/src/util.cpp", 700);
        dir.File("data/proj/src/old/legacy.c", 50);
        dir.File("data/other/keep.txt", 400);
        dir.File("data/other/deep/est.txt", 5);
        dir.Folder("data/empty");
        actions.StartTerminal = [this](const TEntryPath &folder) {
            terminals.push_back(folder.Full());
            return terminalAnswer;
        };
        Scan();
    }

    void Scan()
    {
        TNodeTree tree;
        ScanFolder(tree, data);
        VT().ReplaceNodes(std::move(tree));
        ctrl->RootPath = data;
        AfterScan();
    }
    NodeId Find(const std::string &relative) { return TPathFinder(Tree()).Find(data + "/" + relative); }
    // A row of the current-folder list by name.
    NodeId Row(const std::string &name)
    {
        for (NodeId n = VTList().Nodes().First(); n != kNoNode; n = VTList().Nodes().NextSibling(n))
            if (VTList().Nodes().NameBytes(n) == name)
                return n;
        ADD_FAILURE() << "no row " << name;
        return kNoNode;
    }
    void Act(EntryAction action, ITreeGrid &grid, std::vector<NodeId> rows) { actions.Run(action, grid, rows); }
    std::string Trashed(const std::string &name) { return actions.Places.homeTrash + "/files/" + name; }
    std::string LastMessage() { return ui.messages.empty() ? std::string() : ui.messages.back().text; }

    // The catalogue in VT equals a new scan of the folder: every field of every node (folders'
    // access times aside, which reading them changes), the class fields as classifying now
    // gives them, each level in VT's order.
    void ExpectSameAsNewScan()
    {
        TNodeTree fresh;
        ScanFolder(fresh, data);
        const TNodeTree &tree = Tree();
        EXPECT_EQ(tree.NodeCount(), fresh.NodeCount());
        std::function<void(NodeId, NodeId)> same = [&](NodeId a, NodeId b) {
            SCOPED_TRACE(fresh.Field(b, FullPath));
            for (int field = 0; field < CreateAgeRange; ++field) {
                if (field != AccessTime || fresh.Data(b).Kind() != NodeKind::Folder) {
                    EXPECT_EQ(tree.Field(a, field), fresh.Field(b, field)) << FieldNames[field];
                }
            }
            if (fresh.Data(b).Kind() == NodeKind::File) {
                const LocalMillis nowMs = now;
                EXPECT_EQ(tree.Field(a, SizeRange), std::to_string(SizeClassIndex(double(fresh.Data(b).size), ctrl->SizeBounds)));
                EXPECT_EQ(tree.Field(a, WriteAgeRange),
                          std::to_string(AgeClassIndex(fresh.Data(b).times[2], nowMs, ctrl->AgeBounds)));
            }
            ASSERT_EQ(tree.ChildCount(a), fresh.ChildCount(b));
            std::vector<NodeId> kids = tree.Children(a);
            for (std::size_t i = 1; i < kids.size(); ++i) // VT's order: folders first, then by name
                EXPECT_LT(ctrl->CompareNodes(VT(), kids[i - 1], kids[i], -1), 1);
            for (NodeId kid : kids) {
                NodeId match = kNoNode;
                for (NodeId c = fresh.FirstChild(b); c != kNoNode; c = fresh.NextSibling(c))
                    if (fresh.NameBytes(c) == tree.NameBytes(kid))
                        match = c;
                ASSERT_NE(match, kNoNode) << tree.Field(kid, FullPath);
                same(kid, match);
            }
        };
        same(tree.First(), fresh.First());
    }
    // The statistics of the entry shown are what counting it anew gives, type order included.
    void ExpectCountsAsCountedAnew()
    {
        auto types = [&] {
            std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> out;
            for (const auto &e : ctrl->TypeCounts.Entries())
                out.emplace_back(e.ext, e.count, e.bytes);
            return out;
        };
        const auto size = ctrl->SizeCounts, create = ctrl->CreateCounts, write = ctrl->WriteCounts;
        const auto kinds = types();
        ctrl->CountClasses();
        EXPECT_EQ(size, ctrl->SizeCounts);
        EXPECT_EQ(create, ctrl->CreateCounts);
        EXPECT_EQ(write, ctrl->WriteCounts);
        EXPECT_EQ(kinds, types());
    }

    std::string data;
    Host host;
    TrashHome trashHome{dir.Path()}; // before the actions, which take their trash from it
    TEntryActions actions{*ctrl, host};
    std::vector<std::string> terminals;
    TerminalStart terminalAnswer{true, "/usr/bin/x-terminal-emulator", {}};
};

TEST_F(EntryActionsTest, AFileAndAFolderMovedFromTheTreeLeaveTheCatalogueAndTheTotalsShrink)
{
    ASSERT_EQ(actions.Places.homeTrash, dir / "home/.local/share/Trash"); // XDG_DATA_HOME's
    // A day-old folder: the move gives it a new write time, which the catalogue must follow.
    fs::last_write_time(data + "/proj", fs::last_write_time(data + "/proj") - std::chrono::hours(24));
    Scan();
    const std::uint64_t total = Tree().Data(Tree().First()).size;
    VT().SelectNode(Find("proj/readme.md"));
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VT(), {Find("proj/readme.md")});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Move \u201Creadme.md\u201D from \u201C" + data +
                                       "/proj\u201D to the trash?\n\nIt takes 120.00 B. The space comes back when the "
                                       "trash is emptied.");
    EXPECT_EQ(ui.messages[0].caption, "Move to Trash");
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(fs::exists(Trashed("readme.md")));
    EXPECT_NE(ReadFile(actions.Places.homeTrash + "/info/readme.md.trashinfo").find("Path=" + data + "/proj/readme.md\n"),
              std::string::npos);
    EXPECT_EQ(Find("proj/readme.md"), kNoNode);
    EXPECT_EQ(Tree().Data(Tree().First()).size, total - 120);
    // The entry shown is gone: its folder is shown, and selected.
    EXPECT_EQ(ctrl->CurrentNode, Find("proj"));
    EXPECT_EQ(VT().SelectedNode(), Find("proj"));
    EXPECT_EQ(view.PathLabel(), data + "/proj");
    EXPECT_EQ(Listed(VTList()), (std::vector<std::string>{"src", "caf\uFFFD.txt"}));
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();

    VT().SelectNode(Find("other"));
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VT(), {Find("other")});
    EXPECT_EQ(LastMessage(), "Move the folder \u201Cother\u201D from \u201C" + data +
                                 "\u201D to the trash?\n\nIt holds 3 entries and takes 405.00 B. The space comes back "
                                 "when the trash is emptied.");
    EXPECT_TRUE(fs::exists(Trashed("other/deep/est.txt")));
    EXPECT_EQ(Tree().Data(Tree().First()).size, total - 120 - 405);
    EXPECT_EQ(ctrl->CurrentNode, Tree().First());
    ExpectSameAsNewScan();
}

TEST_F(EntryActionsTest, SeveralRowsOfAListMoveTogetherAndTheStatisticsFollow)
{
    ASSERT_EQ(ctrl->CurrentNode, Tree().First());
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VTList(), {Row("top.bin"), Row("empty")});
    EXPECT_EQ(LastMessage(), "Move these 2 entries to the trash?\n\nThey take 1,000.00 B, and the folder among them "
                             "holds no entries. The space comes back when the trash is emptied.");
    EXPECT_EQ(Listed(VTList()), (std::vector<std::string>{"other", "proj"}));
    EXPECT_TRUE(actions.Update().CountedInPlace()); // the only .bin file went
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();

    // The first .txt file met goes, while others stay: where the type is met first now, only a
    // count can tell, so the entry shown is counted anew.
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VTList(), {Row("other")});
    EXPECT_FALSE(actions.Update().CountedInPlace());
    EXPECT_EQ(Listed(VTList()), std::vector<std::string>{"proj"});
    EXPECT_EQ(Listed(VTList(), SizePercentage), std::vector<std::string>{"100.00"});
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();

    // A folder and an entry inside it: the folder alone is asked about and moved.
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VT(), {Find("proj/src/main.cpp"), Find("proj/src")});
    EXPECT_TRUE(LastMessage().starts_with("Move the folder \u201Csrc\u201D from ")) << LastMessage();
    EXPECT_TRUE(fs::exists(Trashed("src/main.cpp")));
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();
}

TEST_F(EntryActionsTest, NothingMovesWithoutAYes)
{
    ui.messageAnswers = {MsgResult::No};
    Act(EntryAction::MoveToTrash, VTList(), {Row("top.bin")});
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(fs::exists(data + "/top.bin"));
    EXPECT_NE(Find("top.bin"), kNoNode);
}

TEST_F(EntryActionsTest, FailuresSayWhyAndLeaveTheEntriesInTheCatalogue)
{
    // A trash that is a regular file: nothing can be moved there.
    fs::create_directories(dir / "home/.local/share");
    WriteFile(actions.Places.homeTrash, "not a folder");
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VTList(), {Row("top.bin")});
    EXPECT_EQ(LastMessage(), "\u201Ctop.bin\u201D could not be moved to the trash: the trash cannot take it: \u201C" +
                                 actions.Places.homeTrash + "\u201D is not a folder.");
    EXPECT_EQ(ui.messages.back().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(fs::exists(data + "/top.bin"));
    EXPECT_NE(Find("top.bin"), kNoNode);
    fs::remove(actions.Places.homeTrash);

    // An entry already gone: said, and its folder offered for a refresh; "No" changes nothing.
    fs::remove(data + "/proj/readme.md");
    ui.messageAnswers = {MsgResult::Yes, MsgResult::No};
    Act(EntryAction::MoveToTrash, VT(), {Find("proj/readme.md")});
    EXPECT_EQ(LastMessage(), "\u201Creadme.md\u201D is no longer on the disk.\n\nRefresh the folder \u201C" + data +
                                 "/proj\u201D now?");
    EXPECT_NE(Find("proj/readme.md"), kNoNode);
    EXPECT_TRUE(host.walked.empty());

    // Several rows, one of them gone: the others are moved, the message names what was not.
    ui.messageAnswers = {MsgResult::Yes, MsgResult::Yes};
    VT().SelectNode(Find("proj"));
    Act(EntryAction::MoveToTrash, VTList(), {Row("caf\xE9.txt"), Row("readme.md")});
    EXPECT_EQ(LastMessage(), "1 of 2 entries could not be moved to the trash:\n\n\u201C" + data +
                                 "/proj/readme.md\u201D: it is no longer there\n\nRefresh the folder \u201C" + data +
                                 "/proj\u201D now?");
    EXPECT_TRUE(fs::exists(Trashed("caf\xE9.txt"))); // the name kept its bytes
    // The refresh was taken: the gone entry has left the catalogue too.
    EXPECT_EQ(host.walked, std::vector<std::string>{data + "/proj"});
    EXPECT_EQ(Find("proj/readme.md"), kNoNode);
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();
}

TEST_F(EntryActionsTest, WhatIsNotMovedIsSaidBeforeAnythingIsAsked)
{
    // The catalogue's own folder.
    Act(EntryAction::MoveToTrash, VT(), {Tree().First()});
    EXPECT_EQ(LastMessage(), "The folder \u201C" + data +
                                 "\u201D cannot be moved to the trash: it is the folder this catalogue was made of. "
                                 "Choose the entries inside it instead.");
    // A file with another name: no space comes back.
    ASSERT_EQ(::link((data + "/top.bin").c_str(), (data + "/twin.bin").c_str()), 0);
    ui.messageAnswers = {MsgResult::No};
    Act(EntryAction::MoveToTrash, VTList(), {Row("top.bin")});
    EXPECT_EQ(LastMessage(), "Move \u201Ctop.bin\u201D from \u201C" + data +
                                 "\u201D to the trash?\n\nIt takes 1,000.00 B, but the file has other names (hard "
                                 "links), so no space comes back, not even when the trash is emptied.");
    // While other work runs, and for a catalogue from a file, nothing happens.
    const std::size_t said = ui.messages.size();
    host.busy = true;
    EXPECT_FALSE(actions.Enabled(EntryAction::MoveToTrash, VTList(), std::vector<NodeId>{Row("top.bin")}));
    Act(EntryAction::MoveToTrash, VTList(), {Row("top.bin")});
    Act(EntryAction::Refresh, VTList(), {Row("proj")});
    host.busy = false;
    Tree().Notes().summary.catalogueFile = dir / "week1.json"; // as reading a catalogue file marks it
    for (EntryAction a : {EntryAction::Refresh, EntryAction::MoveToTrash, EntryAction::OpenFileManager,
                          EntryAction::OpenTerminal})
        EXPECT_FALSE(actions.Offered(a));
    EXPECT_TRUE(actions.Offered(EntryAction::CopyPath));
    Act(EntryAction::MoveToTrash, VTList(), {Row("top.bin")});
    Act(EntryAction::OpenTerminal, VTList(), {Row("top.bin")});
    EXPECT_EQ(ui.messages.size(), said);
    EXPECT_TRUE(host.walked.empty());
    EXPECT_TRUE(terminals.empty());
    Act(EntryAction::CopyPath, VTList(), {Row("top.bin")});
    EXPECT_EQ(ui.copied.size(), 1u);
}

TEST_F(EntryActionsTest, ARefreshGivesWhatANewScanGivesAndKeepsTheRowShown)
{
    dir.File("data/proj/src/new.h", 250);
    fs::remove(data + "/proj/src/util.cpp");
    fs::resize_file(data + "/proj/src/main.cpp", 123456);
    fs::remove_all(data + "/proj/src/old");
    dir.File("data/proj/src/gen/out.o", 7);

    const NodeId src = Find("proj/src");
    VT().SelectNode(src);
    Act(EntryAction::Refresh, VT(), {src});
    EXPECT_EQ(host.walked, std::vector<std::string>{data + "/proj/src"});
    EXPECT_EQ(Find("proj/src"), src);
    EXPECT_EQ(ctrl->CurrentNode, src);
    EXPECT_EQ(VT().SelectedNode(), src);
    EXPECT_EQ(Listed(VTList()), (std::vector<std::string>{"gen", "main.cpp", "new.h"}));
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();

    // From the list of the folder above, for a file's row: its folder is walked, the statistics
    // of the entry shown follow in place.
    fs::resize_file(data + "/proj/readme.md", 99999);
    dir.File("data/proj/notes.txt", 12);
    VT().SelectNode(Tree().First());
    Act(EntryAction::Refresh, VTList(), {Row("proj")});
    EXPECT_TRUE(actions.Update().CountedInPlace());
    EXPECT_EQ(ctrl->CurrentNode, Tree().First());
    ExpectSameAsNewScan();
    ExpectCountsAsCountedAnew();
    VT().SelectNode(Find("proj"));
    Act(EntryAction::Refresh, VTList(), {Row("readme.md")});
    EXPECT_EQ(host.walked.back(), data + "/proj");
}

TEST_F(EntryActionsTest, ACancelledRefreshChangesNothingAndTheTopIsScannedAnew)
{
    dir.File("data/proj/more.txt", 5);
    const std::uint64_t total = Tree().Data(Tree().First()).size;
    const std::uint32_t count = Tree().NodeCount();
    host.cancel = true;
    Act(EntryAction::Refresh, VTList(), {Row("proj")});
    EXPECT_EQ(host.walked.size(), 1u);
    EXPECT_EQ(Tree().Data(Tree().First()).size, total);
    EXPECT_EQ(Tree().NodeCount(), count);

    Act(EntryAction::Refresh, VT(), {Tree().First()});
    Act(EntryAction::Refresh, VTList(), {Row("top.bin")}); // a file of the top folder: the top folder
    EXPECT_EQ(host.scans, 2);
    EXPECT_EQ(host.walked.size(), 1u);

    // A folder gone from the disk: the nearest folder above it still there is walked.
    host.cancel = false;
    fs::remove_all(data + "/other");
    VT().SelectNode(Find("other/deep"));
    Act(EntryAction::Refresh, VT(), {Find("other/deep")});
    EXPECT_EQ(host.scans, 3);
    fs::remove_all(data + "/proj/src");
    Act(EntryAction::Refresh, VT(), {Find("proj/src/old/legacy.c")});
    EXPECT_EQ(host.walked.back(), data + "/proj");
    EXPECT_EQ(Find("proj/src"), kNoNode);
}

TEST_F(EntryActionsTest, PathsTheFileManagerAndATerminal)
{
    Act(EntryAction::CopyPath, VTList(), {Row("proj"), Row("top.bin")});
    EXPECT_EQ(ui.copied, (std::vector<std::vector<std::string>>{{data + "/proj", data + "/top.bin"}}));

    // A file's folder; only the row the menu was opened on.
    Act(EntryAction::OpenFileManager, VTList(), {Row("top.bin"), Row("proj")});
    EXPECT_EQ(ui.opened, std::vector<std::string>{FileUrlOf(data)});
    Act(EntryAction::OpenTerminal, VTList(), {Row("proj"), Row("top.bin")});
    EXPECT_EQ(terminals, std::vector<std::string>{data + "/proj"});

    terminalAnswer = {false, "/usr/bin/x-terminal-emulator", "Permission denied"};
    Act(EntryAction::OpenTerminal, VTList(), {Row("proj")});
    EXPECT_EQ(LastMessage(), "The terminal \u201C/usr/bin/x-terminal-emulator\u201D could not be started in \u201C" +
                                 data + "/proj\u201D: Permission denied.");
    terminalAnswer = {false, "", "no terminal was found"};
    Act(EntryAction::OpenTerminal, VTList(), {Row("proj")});
    EXPECT_EQ(LastMessage(), "No terminal was found. Set the TERMINAL environment variable to the terminal you use.");

    // An entry gone from the disk is said, and its folder offered for a refresh.
    fs::remove(data + "/top.bin");
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::OpenFileManager, VTList(), {Row("top.bin")});
    EXPECT_EQ(LastMessage(), "\u201Ctop.bin\u201D is no longer on the disk.\n\nRefresh the folder \u201C" + data + "\u201D now?");
    EXPECT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(host.scans, 1); // the folder is the catalogue's: a new scan
}

TEST_F(EntryActionsTest, DrillDownListsAreFilledAgainOrEmptied)
{
    // The size class of files under 10 KB, from the top folder: all eight files.
    Chart(ChartId::SizeChart).ClickPoint(0);
    TPlainTreeGrid &sizes = Grid(GridId::VTSize);
    EXPECT_EQ(sizes.Nodes().NodeCount(), 8u);
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, sizes, {sizes.Nodes().First()});
    EXPECT_EQ(sizes.Nodes().NodeCount(), 7u);

    // Grown past the class: it leaves the list at the refresh.
    fs::resize_file(data + "/other/keep.txt", 20000);
    Act(EntryAction::Refresh, VTList(), {Row("other")});
    EXPECT_EQ(sizes.Nodes().NodeCount(), 6u);

    // Filled from a folder that goes: emptied.
    VT().SelectNode(Find("proj"));
    Chart(ChartId::SizeChart).ClickPoint(0);
    EXPECT_EQ(sizes.Nodes().NodeCount(), 5u);
    VT().SelectNode(Tree().First());
    ui.messageAnswers = {MsgResult::Yes};
    Act(EntryAction::MoveToTrash, VTList(), {Row("proj")});
    EXPECT_EQ(sizes.Nodes().NodeCount(), 0u);
}

} // namespace
} // namespace folvane::test
