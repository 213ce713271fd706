#pragma once
// The UI services on screen: Qt dialogs and message boxes, the progress window, the folder
// chooser, the column dialog and the About window. Called from another thread, each service is
// carried out on the UI thread through a blocking queued call.

#include <QObject>

#include "common/UiServices.h"

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

    // "Description|*.ext|Description|*.ext" as a Qt name filter list.
    static QString QtFilter(const std::string &filter);

private:
    template <typename F> auto onUiThread(F &&work);

    QWidget *owner_;
    TWaitForm *wait_;
};

} // namespace folvane
