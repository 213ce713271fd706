#pragma once
// The one seam through which the program's logic reaches dialogs and the progress window.
//
// The Qt implementation shows real windows; tests install a scripted one that answers dialogs and
// records what was shown. Nothing else in the code opens a dialog. Work running off the UI thread
// reaches the Qt implementation through a blocking queued call, so callers never care which
// thread they are on.

#include <string>
#include <vector>

namespace folvane {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Exclamation, Stop, Question };
enum class MsgResult { Ok, Yes, No, Cancel };

class IUiServices {
public:
    virtual ~IUiServices() = default;

    // The progress window: show or hide it (hiding a hidden window does nothing), and set its message line.
    virtual void ShowWaitForm(bool show, bool cancelVisible) = 0;
    virtual void SetWaitText(const std::string &text) = 0;

    // The save-file dialog, without its own overwrite question. `filter` is "Description|*.ext";
    // `defaultExtension` carries its dot. Returns the chosen path, or empty when cancelled.
    virtual std::string SaveFileDialog(const std::string &defaultExtension, const std::string &filter,
                                       const std::string &initialName) = 0;

    // The open-file dialog: an existing file, chosen with `caption` over the files `filter`
    // names ("Description|*.a;*.b|..."). Returns the chosen path, or empty when cancelled.
    // Services that show no dialogs need not offer it: it then answers as cancelled.
    virtual std::string OpenFileDialog(const std::string &caption, const std::string &filter)
    {
        (void)caption;
        (void)filter;
        return {};
    }

    // A modal message box.
    virtual MsgResult MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons,
                                 MsgIcon icon) = 0;

    // The folder chooser: true with `folder` set to an existing directory when one was chosen.
    virtual bool ChooseFolder(const std::string &caption, const std::string &root, std::string &folder) = 0;

    // The column dialog, modal: true when it closed with OK (after saving the ticks).
    virtual bool ShowColumnDialog() = 0;

    // The Scan Options dialog, modal: true when it closed with OK (after storing the choices).
    // Services that show no dialogs need not offer it: it then answers as cancelled.
    virtual bool ShowScanOptions() { return false; }

    // The About window, modal.
    virtual void ShowAbout() = 0;

    // Hands a URL (a web address, "mailto:...", a local folder as file URL) to the desktop.
    virtual void OpenUrl(const std::string &url) = 0;

    // The program is about to end (a session ending, SIGTERM): a dialog on screen is closed as
    // cancelled and every later one is answered "cancel" without being shown, so that work still
    // running ends soon. Called on the UI thread.
    virtual void EndRequested() {}
    // Puts paths (bytes, as the file system knows them) on the clipboard: as text, one per line
    // (shown with U+FFFD where a name is not UTF-8), and as file URLs, which keep every byte.
    virtual void CopyPaths(const std::vector<std::string> &paths) = 0;
};

// The services in force. Until one is installed, a silent implementation answers every dialog
// with "cancel" and shows nothing.
IUiServices &Ui();
// Installs `services` (not owned); nullptr restores the silent implementation.
void SetUi(IUiServices *services);

void ShowWaitForm(bool show, bool cancelVisible);
void SetWaitText(const std::string &text);

// Shows the progress window with a message for the lifetime of the guard, and hides it on every way out.
class WaitFormGuard {
public:
    explicit WaitFormGuard(const std::string &text)
    {
        ShowWaitForm(true, false);
        SetWaitText(text);
    }
    ~WaitFormGuard() { ShowWaitForm(false, false); }
    WaitFormGuard(const WaitFormGuard &) = delete;
    WaitFormGuard &operator=(const WaitFormGuard &) = delete;
};

} // namespace folvane
