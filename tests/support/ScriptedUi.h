#pragma once
// A scripted stand-in for the UI services: answers dialogs from queues the test fills, and records
// everything that was shown, in order, so tests can check texts, captions, buttons and icons.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/UiServices.h"

namespace folvane::test {

class ScriptedUi final : public IUiServices {
public:
    struct Message {
        std::string text, caption;
        MsgButtons buttons;
        MsgIcon icon;
    };
    struct SaveRequest {
        std::string defaultExtension, filter, initialName;
    };

    // Answers, taken from the front; an empty queue answers "cancel".
    std::deque<std::string> saveAnswers;      // "" = cancel
    std::deque<std::string> openAnswers;      // "" = cancel
    std::deque<MsgResult> messageAnswers;     // for YesNo boxes; Ok boxes answer Ok
    std::deque<std::string> folderAnswers;    // "" = cancel
    std::deque<bool> columnDialogAnswers;
    // What the Scan Options dialog does: given, it is run (it may store choices) and its answer
    // is the dialog's; else the dialog answers from scanOptionsAnswers.
    std::function<bool()> scanOptionsDialog;
    std::deque<bool> scanOptionsAnswers;

    // What was shown.
    std::vector<Message> messages;
    std::vector<SaveRequest> saveRequests;
    std::vector<std::string> openRequests; // the captions of the open-file dialogs
    std::vector<std::string> opened;
    std::vector<std::vector<std::string>> copied; // each CopyPaths call
    std::vector<std::string> waitLog; // "show", "hide", "text:<message>"
    bool waitVisible = false;
    bool cancelVisible = false;
    std::string waitText = "...";
    int columnDialogs = 0, abouts = 0, scanOptionsDialogs = 0;

    ScriptedUi() { SetUi(this); }
    ~ScriptedUi() override { SetUi(nullptr); }

    void ShowWaitForm(bool show, bool cancel) override
    {
        if (show) {
            waitVisible = true;
            cancelVisible = cancel;
            waitLog.push_back("show");
        } else if (waitVisible) {
            waitVisible = false;
            waitLog.push_back("hide");
        }
    }
    void SetWaitText(const std::string &text) override
    {
        waitText = text;
        waitLog.push_back("text:" + text);
    }
    std::string SaveFileDialog(const std::string &ext, const std::string &filter, const std::string &initial) override
    {
        saveRequests.push_back({ext, filter, initial});
        return take(saveAnswers, std::string());
    }
    std::string OpenFileDialog(const std::string &caption, const std::string &) override
    {
        openRequests.push_back(caption);
        return take(openAnswers, std::string());
    }
    MsgResult MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons, MsgIcon icon) override
    {
        messages.push_back({text, caption, buttons, icon});
        if (buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        return take(messageAnswers, MsgResult::No);
    }
    bool ChooseFolder(const std::string &, const std::string &, std::string &folder) override
    {
        std::string answer = take(folderAnswers, std::string());
        if (answer.empty())
            return false;
        folder = answer;
        return true;
    }
    bool ShowColumnDialog() override
    {
        ++columnDialogs;
        return take(columnDialogAnswers, false);
    }
    bool ShowScanOptions() override
    {
        ++scanOptionsDialogs;
        return scanOptionsDialog ? scanOptionsDialog() : take(scanOptionsAnswers, false);
    }
    void ShowAbout() override { ++abouts; }
    void OpenUrl(const std::string &url) override { opened.push_back(url); }
    void CopyPaths(const std::vector<std::string> &paths) override { copied.push_back(paths); }

private:
    template <typename T> static T take(std::deque<T> &queue, T fallback)
    {
        if (queue.empty())
            return fallback;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

} // namespace folvane::test
