// The Scan Options dialog: what it shows, what OK stores, a refused pattern, a failed save and the
// built-in defaults.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "config/ConfigStore.h"
#include "config/ScanOptionsDialog.h"
#include "support/Files.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace folvane;
using folvane::test::ClippedLabels;
using folvane::test::GuiApp;

namespace {

class ScanOptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
        file = GetConfig().ConfigFileName();
    }
    void TearDown() override { ResetConfig(); }

    // Runs the dialog; `act` works on it once it is on screen.
    bool run(const std::function<void(TFMScanOptions &)> &act)
    {
        TFMScanOptions dialog(nullptr);
        QTimer::singleShot(50, [&] { act(dialog); });
        return dialog.Execute();
    }

    test::TempDir program, user;
    std::string file;
    test::ScriptedUi ui;
};

} // namespace

TEST_F(ScanOptionsDialogTest, ShowsTheDefaultsAndOkStoresEveryChoice)
{
    const std::string firstText = test::ReadFile(file);
    const bool ok = run([&](TFMScanOptions &dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Scan Options"));
        EXPECT_TRUE(dialog.rbApparent()->isChecked());
        EXPECT_FALSE(dialog.rbDiskUsage()->isChecked());
        EXPECT_EQ(dialog.rbApparent()->text(), QStringLiteral("Apparent size"));
        EXPECT_EQ(dialog.rbDiskUsage()->text(), QStringLiteral("Disk usage"));
        EXPECT_EQ(dialog.cbHardLinksOnce()->text(), QStringLiteral("Count a file with several names once"));
        EXPECT_EQ(dialog.cbOneFileSystem()->text(), QStringLiteral("Stay on the chosen folder's file system"));
        EXPECT_FALSE(dialog.cbHardLinksOnce()->isChecked());
        EXPECT_FALSE(dialog.cbOneFileSystem()->isChecked());
        EXPECT_TRUE(dialog.mmExclude()->toPlainText().isEmpty());
        EXPECT_TRUE(ClippedLabels(dialog).empty()) << ClippedLabels(dialog).front();
        dialog.rbDiskUsage()->click();
        dialog.cbHardLinksOnce()->click();
        dialog.cbOneFileSystem()->click();
        dialog.mmExclude()->setPlainText(QStringLiteral("*.o\n\n  \nnode_modules/\n/build"));
        dialog.btnOK()->click();
    });
    EXPECT_TRUE(ok);
    ScanChoices expected;
    expected.sizeKind = SizeKind::DiskUsage;
    expected.hardLinksOnce = true;
    expected.oneFileSystem = true;
    expected.exclude = {"*.o", "node_modules/", "/build"};
    EXPECT_EQ(GetConfig().XMLConfig()->ScanOptions().Choices(), expected);
    // Saved at once, as an element added to the file; the rest of the file is as it was.
    const std::string saved = test::ReadFile(file);
    EXPECT_NE(saved.find("<scanoptions DiskUsage=\"True\" HardLinksOnce=\"True\" OneFileSystem=\"True\">"
                         "<exclude pattern=\"*.o\"/><exclude pattern=\"node_modules/\"/><exclude pattern=\"/build\"/>"
                         "</scanoptions>"),
              std::string::npos)
        << saved;
    EXPECT_TRUE(firstText.starts_with("<?xml")); // the default text of the first start, untouched until now
    EXPECT_EQ(firstText.find("scanoptions"), std::string::npos);

    // Shown again, the dialog holds what was stored; Cancel changes nothing.
    run([&](TFMScanOptions &dialog) {
        EXPECT_TRUE(dialog.rbDiskUsage()->isChecked());
        EXPECT_TRUE(dialog.cbHardLinksOnce()->isChecked());
        EXPECT_EQ(dialog.mmExclude()->toPlainText(), QStringLiteral("*.o\nnode_modules/\n/build"));
        dialog.rbApparent()->click();
        dialog.btnCancel()->click();
    });
    EXPECT_EQ(GetConfig().XMLConfig()->ScanOptions().Choices(), expected);
    EXPECT_EQ(test::ReadFile(file), saved);
}

TEST_F(ScanOptionsDialogTest, ARefusedPatternIsNamedAndNothingTypedIsLost)
{
    const QString typed = QStringLiteral("*.o\nabc\\\n[[:foo:]]");
    bool stillOpen = false;
    QString kept, selected;
    const bool ok = run([&](TFMScanOptions &dialog) {
        dialog.cbOneFileSystem()->click();
        dialog.mmExclude()->setPlainText(typed);
        dialog.btnOK()->click();
        stillOpen = dialog.isVisible();
        kept = dialog.mmExclude()->toPlainText();
        selected = dialog.mmExclude()->textCursor().selectedText();
        dialog.btnCancel()->click();
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(kept, typed);
    EXPECT_EQ(selected, QStringLiteral("abc\\")); // the first refused line, ready to correct
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("\"abc\\\""), std::string::npos) << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("lone backslash"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].caption, "Scan Options");
    // Nothing was stored.
    EXPECT_EQ(GetConfig().XMLConfig()->ScanOptions().Choices(), ScanChoices{});
}

TEST_F(ScanOptionsDialogTest, AFailedSaveSaysWhyAndStaysOpen)
{
    // A file where the configuration's folder was: nothing can be written there, even by root.
    std::filesystem::remove_all(program.Path());
    std::ofstream(program.Path()) << "in the way";
    bool stillOpen = false;
    const bool ok = run([&](TFMScanOptions &dialog) {
        dialog.rbDiskUsage()->click();
        dialog.btnOK()->click();
        stillOpen = dialog.isVisible();
        dialog.btnCancel()->click();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(ok);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(file), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].caption, "Warning");
}

TEST_F(ScanOptionsDialogTest, OnTheBuiltInDefaultsOkAppliesForThisRunWithoutWriting)
{
    ResetConfig();
    std::ofstream(program / "FolvaneConfig.xml") << "<config><nodes><node Name=\"File Name\" Visible=\"maybe\"";
    ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
    ASSERT_TRUE(GetConfig().OnDefaults());
    const std::string before = test::ReadFile(program / "FolvaneConfig.xml");
    const bool ok = run([&](TFMScanOptions &dialog) {
        dialog.cbHardLinksOnce()->click();
        dialog.btnOK()->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(GetConfig().XMLConfig()->ScanOptions().HardLinksOnce());
    EXPECT_EQ(test::ReadFile(program / "FolvaneConfig.xml"), before);
    EXPECT_TRUE(ui.messages.empty());
}
