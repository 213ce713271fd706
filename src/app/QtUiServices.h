#pragma once
// The UI services on screen: Qt dialogs and message boxes, the progress window, the folder
// chooser, the column dialog and the About window.
//
// Called from another thread, a service is carried out on the UI thread while the caller waits.
// The call is handed over through a queue guarded by a standard mutex and its end is told through
// a condition variable, so everything the two threads share is ordered by standard primitives;
// a queued Qt signal only wakes the UI thread to take the call.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "common/UiServices.h"

class QDialog;
class QWidget;

namespace folvane {

class TWaitForm;

class QtUiServices final : public QObject, public IUiServices {
    Q_OBJECT
public:
    // `owner` is the main window that dialogs belong to; `wait` the progress window.
    QtUiServices(QWidget *owner, TWaitForm *wait);

    void ShowWaitForm(bool show, bool cancelVisible) override;
    void SetWaitText(const std::string &text) override;
    std::string SaveFileDialog(const std::string &defaultExtension, const std::string &filter,
                               const std::string &initialName) override;
    std::string OpenFileDialog(const std::string &caption, const std::string &filter) override;
    MsgResult MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons,
                         MsgIcon icon) override;
    bool ChooseFolder(const std::string &caption, const std::string &root, std::string &folder) override;
    bool ShowColumnDialog() override;
    bool ShowScanOptions() override;
    void ShowAbout() override;
    void OpenUrl(const std::string &url) override;
    // On the UI thread: closes the dialog on screen as cancelled; later ones are not shown.
    void EndRequested() override;
    void CopyPaths(const std::vector<std::string> &paths) override;

    // "Description|*.ext|Description|*.ext" as a Qt name filter list.
    static QString QtFilter(const std::string &filter);

signals:
    // A call from another thread is waiting in the queue (connected to drain(), queued).
    void callPosted();

private:
    struct Call {
        const std::function<void()> *run;
        bool done = false;
    };
    template <typename F> auto onUiThread(F &&work);
    void callOnUiThread(const std::function<void()> &run);
    void drain();
    // Runs a dialog modally (`run` is its exec() or its own Execute()), remembered as the one on
    // screen while it runs.
    template <typename Run> auto whileShown(QDialog &dialog, Run run);
    int execDialog(QDialog &dialog);

    QWidget *owner_;
    TWaitForm *wait_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<Call *> calls_;
    // The UI thread's alone.
    QDialog *shown_ = nullptr;
    bool ending_ = false;
};

} // namespace folvane
