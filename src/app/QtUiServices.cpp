#include "app/QtUiServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include <exception>
#include <type_traits>

#include "app/ChooseFolder.h"
#include "app/UAbout.h"
#include "app/uWaitForm.h"
#include "config/ScanOptionsDialog.h"
#include "config/uConfigEx.h"

namespace folvane {

QtUiServices::QtUiServices(QWidget *owner, TWaitForm *wait) : owner_(owner), wait_(wait) {}

template <typename F> auto QtUiServices::onUiThread(F &&work)
{
    using Result = std::invoke_result_t<F>;
    if (QThread::currentThread() == qApp->thread())
        return work();
    // Off the UI thread: the work waits for the UI thread to carry it out; a failure there is
    // handed back to the caller as it would have been raised here.
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                try {
                    work();
                } catch (...) {
                    failure = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (failure)
            std::rethrow_exception(failure);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                try {
                    result = work();
                } catch (...) {
                    failure = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (failure)
            std::rethrow_exception(failure);
        return result;
    }
}

void QtUiServices::ShowWaitForm(bool show, bool cancelVisible)
{
    onUiThread([&] { wait_->ShowWaitForm(show, cancelVisible); });
}

void QtUiServices::SetWaitText(const std::string &text)
{
    onUiThread([&] { wait_->SetWaitText(QString::fromStdString(text)); });
}

QString QtUiServices::QtFilter(const std::string &filter)
{
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                       QLatin1Char(')');
    return filters.join(QStringLiteral(";;"));
}

std::string QtUiServices::SaveFileDialog(const std::string &defaultExtension, const std::string &filter,
                                         const std::string &initialName)
{
    return onUiThread([&]() -> std::string {
        QFileDialog dialog(owner_, QString(), QFile::decodeName(QByteArray::fromStdString(initialName)),
                           QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The prompt asks its own overwrite question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        QString suffix = QString::fromStdString(defaultExtension);
        if (suffix.startsWith(QLatin1Char('.')))
            suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        const QByteArray bytes = QFile::encodeName(dialog.selectedFiles().first());
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    });
}

std::string QtUiServices::OpenFileDialog(const std::string &caption, const std::string &filter)
{
    return onUiThread([&]() -> std::string {
        QFileDialog dialog(owner_, QString::fromStdString(caption), QString(), QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        const QByteArray bytes = QFile::encodeName(dialog.selectedFiles().first());
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    });
}

MsgResult QtUiServices::MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons,
                                   MsgIcon icon)
{
    return onUiThread([&] {
        QMessageBox box(owner_);
        box.setWindowTitle(QString::fromStdString(caption));
        box.setText(QString::fromStdString(text));
        switch (icon) {
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        }
        if (buttons == MsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        const int answer = box.exec();
        if (buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    });
}

bool QtUiServices::ChooseFolder(const std::string &caption, const std::string &root, std::string &folder)
{
    return onUiThread([&] { return folvane::ChooseFolder(owner_, caption, root, folder); });
}

bool QtUiServices::ShowColumnDialog()
{
    return onUiThread([&] {
        TFMConfig dialog(nullptr);
        return dialog.Execute();
    });
}

bool QtUiServices::ShowScanOptions()
{
    return onUiThread([&] {
        TFMScanOptions dialog(owner_);
        return dialog.Execute();
    });
}

void QtUiServices::ShowAbout()
{
    onUiThread([&] {
        TFMAbout about(owner_);
        about.exec();
    });
}

void QtUiServices::OpenUrl(const std::string &url)
{
    onUiThread([&] {
        QUrl target = url.rfind('/', 0) == 0 ? QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(url)))
                                             : QUrl(QString::fromStdString(url));
        QDesktopServices::openUrl(target);
    });
}

} // namespace folvane
