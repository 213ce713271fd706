#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "GuiTestSupport.h"
#include "app/ChooseFolder.h"
#include "app/QtUiServices.h"
#include "app/UAbout.h"
#include "app/uWaitForm.h"
#include "config/ConfigStore.h"
#include "config/uConfigEx.h"
#include "support/ScriptedUi.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;
using folvane::test::ClippedLabels;
using folvane::test::GuiApp;
using folvane::test::Settle;
using folvane::test::WaitUntil;

namespace {

class ShellWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { GuiApp(); }
};

} // namespace

TEST_F(ShellWindowsTest, WaitFormShowsHidesAndKeepsItsText)
{
    QWidget owner;
    owner.resize(600, 400);
    owner.show();
    TWaitForm wait(&owner);
    EXPECT_EQ(wait.size(), QSize(376, 84));
    EXPECT_TRUE(wait.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(wait.Label1()->text(), QStringLiteral("This will take a few minutes.Please be patient..."));
    EXPECT_EQ(wait.WaitText(), QStringLiteral("..."));
    EXPECT_EQ(wait.SpeedButton1()->text(), QStringLiteral("Cancel"));

    wait.ShowWaitForm(false, false); // hiding a hidden window does nothing
    EXPECT_FALSE(wait.isVisible());
    wait.SetWaitText(QStringLiteral("Loading info..")); // set while hidden, shown next time
    wait.ShowWaitForm(true, true);
    wait.ShowWaitForm(true, false); // shown once, with the second call's button
    EXPECT_TRUE(wait.isVisible());
    EXPECT_FALSE(wait.SpeedButton1()->isVisible());
    EXPECT_EQ(wait.Label2()->text(), QStringLiteral("Loading info.."));
    EXPECT_LE((wait.geometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);

    // The animation keeps moving while the UI thread is free.
    const int frame = wait.Animate1()->Frame();
    ASSERT_TRUE(WaitUntil([&] { return wait.Animate1()->Frame() != frame; }, 2000));

    // The scan's counts and a working Cancel.
    int cancels = 0;
    wait.SetCancelHandler([&] { ++cancels; });
    wait.ShowWaitForm(true, true);
    // Nothing found yet, nothing to say: a scan that ends within a moment flashes no "0 entries".
    wait.SetCounts(0, 0);
    EXPECT_FALSE(wait.CountsLabel()->isVisible());
    wait.SetCounts(1234, 5 * 1024 * 1024);
    EXPECT_TRUE(wait.CountsLabel()->isVisible());
    EXPECT_TRUE(wait.CountsLabel()->text().contains(QLocale().toString(1234)));
    EXPECT_FALSE(wait.CountsLabel()->text().contains(QStringLiteral("not read")));
    QTest::mouseClick(wait.SpeedButton1(), Qt::LeftButton);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(ClippedLabels(wait).empty()) << ClippedLabels(wait).front();
    // Folders that could not be read are named once there are some, and still fit.
    wait.SetCounts(1234567, 5ull << 40, 1);
    EXPECT_TRUE(wait.CountsLabel()->text().endsWith(QStringLiteral(", 1 folder not read")));
    wait.SetCounts(1234567, 5ull << 40, 1234);
    EXPECT_TRUE(wait.CountsLabel()->text().endsWith(QStringLiteral(", ") + QLocale().toString(1234) +
                                                    QStringLiteral(" folders not read")));
    EXPECT_TRUE(ClippedLabels(wait).empty()) << ClippedLabels(wait).front();
    // Once the walk is over, the counts line says that the new catalogue is being sorted, in the
    // place of the folders not read; the counts of a million entries and hundreds of terabytes
    // still fit.
    wait.SetCounts(1000000, 309693132524178, 0, TWaitForm::ScanStage::Sorting);
    EXPECT_TRUE(wait.CountsLabel()->text().endsWith(QStringLiteral(", sorting.."))) << wait.CountsLabel()->text().toStdString();
    EXPECT_EQ(wait.WaitText(), QStringLiteral("Loading info.."));
    EXPECT_TRUE(ClippedLabels(wait).empty()) << ClippedLabels(wait).front();
    wait.SetCounts(1234567, 5ull << 40, 1234, TWaitForm::ScanStage::Sorting);
    EXPECT_TRUE(wait.CountsLabel()->text().endsWith(QStringLiteral(", sorting.."))) << wait.CountsLabel()->text().toStdString();
    EXPECT_TRUE(ClippedLabels(wait).empty()) << ClippedLabels(wait).front();
    // No two parts overlap.
    const QWidget *parts[] = {wait.Animate1(), wait.Label1(), wait.Label2(), wait.CountsLabel(), wait.SpeedButton1()};
    for (const QWidget *p : parts) {
        EXPECT_TRUE(wait.rect().contains(p->geometry())) << p->objectName().toStdString();
        for (const QWidget *q : parts) {
            if (p != q) {
                EXPECT_FALSE(p->geometry().intersects(q->geometry()))
                    << p->objectName().toStdString() << " " << q->objectName().toStdString();
            }
        }
    }

    wait.ShowWaitForm(false, false);
    EXPECT_FALSE(wait.isVisible());
    EXPECT_FALSE(wait.CountsLabel()->isVisible());
    EXPECT_FALSE(wait.Animate1()->Running());
}

TEST_F(ShellWindowsTest, AboutShowsItsTextsAndOpensItsLinks)
{
    test::ScriptedUi ui;
    TFMAbout about(nullptr);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Folvane"));
    EXPECT_EQ(about.size(), QSize(292, 152));
    about.show();
    Settle();
    EXPECT_EQ(about.Label(1)->text(), QStringLiteral("Korrin Folvane 3.1.3"));
    EXPECT_TRUE(about.Label(1)->font().bold());
    EXPECT_EQ(about.Label(4)->text(), QStringLiteral("Web: "));
    EXPECT_EQ(about.Label(6)->text(), QStringLiteral("Email: "));
    EXPECT_EQ(about.Label(5)->text(), QStringLiteral("www.folvane.org"));
    EXPECT_EQ(about.Label(7)->text(), QStringLiteral("support@folvane.org"));
    EXPECT_EQ(about.Label(5)->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(ClippedLabels(about).empty()) << ClippedLabels(about).front();

    QTest::mouseClick(about.Label(5), Qt::LeftButton);
    QTest::mouseClick(about.Label(7), Qt::LeftButton);
    ASSERT_EQ(ui.opened.size(), 2u);
    EXPECT_EQ(ui.opened[0], "https://www.folvane.org/");
    EXPECT_EQ(ui.opened[1], "mailto:support@folvane.org");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ShellWindowsTest, AboutIsCentredOnTheScreenWhereverTheMainWindowIs)
{
    // There is no window manager here: the program places its windows itself.
    QWidget owner;
    owner.setGeometry(20, 30, 500, 300); // well away from the screen's centre
    owner.show();
    Settle();
    QtUiServices services(&owner, nullptr);
    QRect shown;
    QSize size;
    QTimer::singleShot(0, [&] {
        if (QWidget *about = QApplication::activeModalWidget()) {
            shown = about->frameGeometry();
            size = about->size();
            about->close();
        }
    });
    services.ShowAbout();
    ASSERT_TRUE(shown.isValid());
    EXPECT_EQ(size, QSize(292, 152));
    const QRect screen = owner.screen()->availableGeometry();
    EXPECT_LE((shown.center() - screen.center()).manhattanLength(), 2)
        << shown.x() << "," << shown.y() << " on a screen of " << screen.width() << "x" << screen.height();
}

TEST_F(ShellWindowsTest, ChooserGivesExistingFoldersWithoutATrailingSlash)
{
    EXPECT_EQ(NormalizeChosenFolder("/data/photos/"), "/data/photos");
    EXPECT_EQ(NormalizeChosenFolder("/"), "/");
    EXPECT_EQ(NormalizeChosenFolder("/data"), "/data");
    // A folder that does not exist is not offered, and comes back empty on cancel.
    std::string folder = "/no/such/folder/here";
    QTimer::singleShot(200, [] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    EXPECT_FALSE(ChooseFolder(nullptr, "", "", folder));
    EXPECT_EQ(folder, "");
}

TEST_F(ShellWindowsTest, QtFiltersFromPromptFilters)
{
    const std::pair<std::string, QString> cases[] = {
        {"BMP File|*.bmp", "BMP File (*.bmp)"},
        {"EXCEL File|*.xlsx", "EXCEL File (*.xlsx)"},
        {"Text|*.txt|All|*.*", "Text (*.txt);;All (*.*)"},
        {"Pictures|*.bmp;*.png", "Pictures (*.bmp *.png)"},
    };
    for (const auto &[filter, expected] : cases)
        EXPECT_EQ(QtUiServices::QtFilter(filter), expected) << filter;
}

TEST_F(ShellWindowsTest, ServicesCalledFromAWorkerRunOnTheUiThread)
{
    QWidget owner;
    TWaitForm wait(&owner);
    QtUiServices services(&owner, &wait);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        services.ShowWaitForm(true, false);
        services.SetWaitText("Export to file..");
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(wait.isVisible());
    EXPECT_EQ(wait.WaitText(), QStringLiteral("Export to file.."));

    // A message box asked from a worker is answered on the UI thread and its answer goes back.
    test::OnDialogShown<QMessageBox> answer([](QMessageBox &box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Warning"));
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        box.button(QMessageBox::No)->click();
    });
    std::atomic<MsgResult> answered{MsgResult::Cancel};
    done = false;
    std::thread asker([&] {
        answered = services.MessageBox("Catalog with the same name already exists,overwrite?", "Warning",
                                       MsgButtons::YesNo, MsgIcon::Exclamation);
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    asker.join();
    EXPECT_EQ(answered.load(), MsgResult::No);
    services.ShowWaitForm(false, false);
    EXPECT_FALSE(wait.isVisible());
}

// A request to end the program closes the dialog a worker waits on, as cancelled, and answers
// every later one "cancel" without showing it.
TEST_F(ShellWindowsTest, AnEndRequestAnswersTheDialogsOfAWorkerCancel)
{
    QWidget owner;
    TWaitForm wait(&owner);
    QtUiServices services(&owner, &wait);
    int shown = 0;
    test::OnDialogShown<QDialog> end([&](QDialog &) {
        ++shown;
        services.EndRequested();
    });
    std::atomic<bool> done{false};
    std::atomic<MsgResult> first{MsgResult::Ok}, second{MsgResult::Ok};
    std::string saved = "unset", opened = "unset";
    std::thread worker([&] {
        first = services.MessageBox("Catalog with the same name already exists,overwrite?", "Warning",
                                    MsgButtons::YesNo, MsgIcon::Question);
        saved = services.SaveFileDialog(".csv", "CSV File|*.csv", "");
        opened = services.OpenFileDialog("Open Catalogue", "Catalogue files|*.xml;*.json");
        second = services.MessageBox("Export Finished", "Done", MsgButtons::Ok, MsgIcon::None);
        done = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(first.load(), MsgResult::Cancel);
    EXPECT_EQ(saved, "");
    EXPECT_EQ(opened, "");
    EXPECT_EQ(second.load(), MsgResult::Cancel);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

namespace {

class ColumnDialogTest : public ShellWindowsTest {
protected:
    void SetUp() override
    {
        ShellWindowsTest::SetUp();
        ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
        file = GetConfig().ConfigFileName();
    }
    void TearDown() override { ResetConfig(); }

    // Runs the dialog; `act` works on it once it is on screen.
    bool run(const std::function<void(TFMConfig &)> &act)
    {
        TFMConfig dialog(nullptr);
        QTimer::singleShot(50, [&] { act(dialog); });
        return dialog.Execute();
    }

    test::TempDir program, user;
    std::string file;
};

std::vector<std::pair<std::string, bool>> rows(const TFMConfig &dialog)
{
    std::vector<std::pair<std::string, bool>> list;
    for (int i = 0; i < dialog.clbList()->count(); ++i)
        list.emplace_back(dialog.clbList()->item(i)->text().toStdString(),
                          dialog.clbList()->item(i)->checkState() == Qt::Checked);
    return list;
}

} // namespace

TEST_F(ColumnDialogTest, ListsEveryEntryAndOkStoresTheTicks)
{
    std::vector<std::pair<std::string, bool>> seen;
    const bool ok = run([&](TFMConfig &dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Config visible columns"));
        EXPECT_EQ(dialog.size(), QSize(217, 280));
        EXPECT_EQ(dialog.Label1()->text(), QStringLiteral("Config visible columns:"));
        EXPECT_EQ(dialog.BitBtn1()->text(), QStringLiteral("&OK"));
        EXPECT_EQ(dialog.BitBtn2()->text(), QStringLiteral("&Cancel"));
        EXPECT_EQ(dialog.clbList()->visualItemRect(dialog.clbList()->item(0)).height(), 18);
        EXPECT_TRUE(ClippedLabels(dialog).empty());
        seen = rows(dialog);
        // Escape and Enter press neither button; the space bar ticks the focused row.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        dialog.clbList()->setFocus();
        dialog.clbList()->setCurrentRow(0);
        QTest::keyClick(dialog.clbList(), Qt::Key_Space);
        dialog.BitBtn1()->click();
    });
    EXPECT_TRUE(ok);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"File Name", true},        {"Full Path", true},         {"File Size", true},        {"Size Percentage", true},
        {"DOS Name", true},         {"File Ext", true},          {"File Type", false},       {"Description", false},
        {"File Name Length", false}, {"Path Name Length", false}, {"Catalog Name", false},   {"Create Time", true},
        {"Access Time", true},      {"Write Time", true},        {"File Count", true}};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(GetConfig().XMLConfig()->Nodes().Node(0).Visible());
    // Saved at once: the file on disk says so too.
    EXPECT_NE(test::ReadFile(file).find("Name=\"File Name\" Visible=\"False\""), std::string::npos) << test::ReadFile(file);
}

TEST_F(ColumnDialogTest, CancelAndTheCloseBoxChangeNothing)
{
    const std::string before = test::ReadFile(file);
    for (bool closeBox : {false, true}) {
        const bool ok = run([&](TFMConfig &dialog) {
            dialog.clbList()->item(2)->setCheckState(Qt::Unchecked);
            if (closeBox)
                dialog.close();
            else
                dialog.BitBtn2()->click();
        });
        EXPECT_FALSE(ok);
        EXPECT_TRUE(GetConfig().XMLConfig()->Nodes().Node(2).Visible());
        EXPECT_EQ(test::ReadFile(file), before);
    }
    // The next showing shows the stored ticks again.
    run([&](TFMConfig &dialog) {
        EXPECT_EQ(dialog.clbList()->item(2)->checkState(), Qt::Checked);
        dialog.BitBtn2()->click();
    });
}

TEST_F(ColumnDialogTest, AFailedSaveSaysWhyAndStaysOpen)
{
    test::ScriptedUi ui;
    // A file where the configuration's folder was: nothing can be written there, even by root.
    std::filesystem::remove_all(program.Path());
    std::ofstream(program.Path()) << "in the way";
    bool stillOpen = false;
    const bool ok = run([&](TFMConfig &dialog) {
        dialog.clbList()->item(1)->setCheckState(Qt::Unchecked);
        dialog.BitBtn1()->click();
        stillOpen = dialog.isVisible();
        dialog.BitBtn2()->click();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(ok);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(file), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].caption, "Warning");
}

TEST_F(ColumnDialogTest, OnTheBuiltInDefaultsOkAppliesWithoutWriting)
{
    ResetConfig();
    std::ofstream(program / "FolvaneConfig.xml") << "<config><nodes><node Name=\"File Name\" Visible=\"maybe\"";
    ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
    ASSERT_TRUE(GetConfig().OnDefaults());
    const std::string before = test::ReadFile(program / "FolvaneConfig.xml");
    const bool ok = run([&](TFMConfig &dialog) {
        dialog.clbList()->item(0)->setCheckState(Qt::Unchecked);
        dialog.BitBtn1()->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(GetConfig().XMLConfig()->Nodes().Node(0).Visible());
    EXPECT_EQ(test::ReadFile(program / "FolvaneConfig.xml"), before);
}
