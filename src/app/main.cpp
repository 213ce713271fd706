#include <QApplication>
#include <QScreen>

#include "app/QtUiServices.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"

namespace {

// Errors that escape an event handler end at the application's handler, which drops them.
class TApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            folvane::IgnoreException();
            return false;
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Folvane"));
    folvane::InstallSystemForms();

    folvane::TFMMain window;
    folvane::TWaitForm wait(&window);
    window.SetWaitForm(&wait);
    folvane::QtUiServices services(&window, &wait);
    folvane::SetUi(&services);

    // Centred on the desktop.
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    const int result = QApplication::exec();
    folvane::SetUi(nullptr);
    return result;
}
