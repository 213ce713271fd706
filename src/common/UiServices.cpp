#include "UiServices.h"

namespace folvane {

namespace {

class SilentUi final : public IUiServices {
public:
    void ShowWaitForm(bool, bool) override {}
    void SetWaitText(const std::string &) override {}
    std::string SaveFileDialog(const std::string &, const std::string &, const std::string &) override { return {}; }
    MsgResult MessageBox(const std::string &, const std::string &, MsgButtons buttons, MsgIcon) override
    {
        return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
    bool ChooseFolder(const std::string &, const std::string &, std::string &) override { return false; }
    bool ShowColumnDialog() override { return false; }
    void ShowAbout() override {}
    void OpenUrl(const std::string &) override {}
    void CopyPaths(const std::vector<std::string> &) override {}
};

SilentUi silent;
IUiServices *installed = &silent;

} // namespace

IUiServices &Ui()
{
    return *installed;
}

void SetUi(IUiServices *services)
{
    installed = services ? services : &silent;
}

void ShowWaitForm(bool show, bool cancelVisible)
{
    Ui().ShowWaitForm(show, cancelVisible);
}

void SetWaitText(const std::string &text)
{
    Ui().SetWaitText(text);
}

} // namespace folvane
