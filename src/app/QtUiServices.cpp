#include "app/QtUiServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QThread>
#include <QUrl>

#include <exception>
#include <type_traits>

#include "app/ChooseFolder.h"
#include "app/UAbout.h"
#include "app/uWaitForm.h"
#include "common/Utf8.h"
#include "common/uFunction.h"
#include "config/ScanOptionsDialog.h"
#include "config/uConfigEx.h"

namespace folvane {

QtUiServices::QtUiServices(QWidget *owner, TWaitForm *wait) : owner_(owner), wait_(wait)
{
    connect(this, &QtUiServices::callPosted, this, &QtUiServices::drain, Qt::QueuedConnection);
}

template <typename F> auto QtUiServices::onUiThread(F &&work)
{
    using Result = std::invoke_result_t<F>;
    if (QThread::currentThread() == thread())
        return work();
    // Off the UI thread: the work waits for the UI thread to carry it out; a failure there is
    // handed back to the caller as it would have been raised here.
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        callOnUiThread([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure)
            std::rethrow_exception(failure);
    } else {
        Result result{};
        callOnUiThread([&] {
            try {
                result = work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure)
            std::rethrow_exception(failure);
        return result;
    }
}

void QtUiServices::callOnUiThread(const std::function<void()> &run)
{
    Call call{&run};
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(&call);
    }
    emit callPosted();
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return call.done; });
}

void QtUiServices::drain()
{
    // A dialog shown by one call runs an event loop of its own, in which calls of other threads
    // may be taken: each call leaves the queue before it runs.
    for (;;) {
        Call *call = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty())
                return;
            call = calls_.front();
            calls_.pop_front();
        }
        (*call->run)(); // catches what the service throws
        {
            std::lock_guard lock(mutex_);
            call->done = true;
        }
        answered_.notify_all();
    }
}

template <typename Run> auto QtUiServices::whileShown(QDialog &dialog, Run run)
{
    struct Restore {
        QDialog *&shown;
        QDialog *outer;
        ~Restore() { shown = outer; }
    } restore{shown_, shown_};
    shown_ = &dialog;
    return run();
}

int QtUiServices::execDialog(QDialog &dialog)
{
    return whileShown(dialog, [&] { return dialog.exec(); });
}

void QtUiServices::EndRequested()
{
    ending_ = true;
    if (shown_)
        shown_->reject();
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
        if (ending_)
            return {};
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
        if (execDialog(dialog) != QDialog::Accepted || ending_ || dialog.selectedFiles().isEmpty())
            return {};
        const QByteArray bytes = QFile::encodeName(dialog.selectedFiles().first());
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    });
}

std::string QtUiServices::OpenFileDialog(const std::string &caption, const std::string &filter)
{
    return onUiThread([&]() -> std::string {
        if (ending_)
            return {};
        QFileDialog dialog(owner_, QString::fromStdString(caption), QString(), QtFilter(filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (execDialog(dialog) != QDialog::Accepted || ending_ || dialog.selectedFiles().isEmpty())
            return {};
        const QByteArray bytes = QFile::encodeName(dialog.selectedFiles().first());
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    });
}

MsgResult QtUiServices::MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons,
                                   MsgIcon icon)
{
    return onUiThread([&] {
        if (ending_)
            return MsgResult::Cancel;
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
        const int answer = execDialog(box);
        if (ending_)
            return MsgResult::Cancel; // closed by the request to end
        if (buttons == MsgButtons::Ok)
            return MsgResult::Ok;
        return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    });
}

bool QtUiServices::ChooseFolder(const std::string &caption, const std::string &root, std::string &folder)
{
    return onUiThread([&] { return !ending_ && folvane::ChooseFolder(owner_, caption, root, folder); });
}

bool QtUiServices::ShowColumnDialog()
{
    return onUiThread([&] {
        if (ending_)
            return false;
        TFMConfig dialog(nullptr);
        return whileShown(dialog, [&] { return dialog.Execute(); }) && !ending_;
    });
}

bool QtUiServices::ShowScanOptions()
{
    return onUiThread([&] {
        if (ending_)
            return false;
        TFMScanOptions dialog(owner_);
        return whileShown(dialog, [&] { return dialog.Execute(); }) && !ending_;
    });
}

void QtUiServices::ShowAbout()
{
    onUiThread([&] {
        if (ending_)
            return;
        TFMAbout about(owner_);
        execDialog(about);
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

void QtUiServices::CopyPaths(const std::vector<std::string> &paths)
{
    onUiThread([&] {
        auto *data = new QMimeData;
        QStringList lines;
        QList<QUrl> urls;
        for (const std::string &path : paths) {
            lines << QString::fromStdString(ValidUtf8(path));
            urls << QUrl(QString::fromStdString(FileUrlOf(path)));
        }
        data->setText(lines.join(QLatin1Char('\n')));
        data->setUrls(urls);
        QGuiApplication::clipboard()->setMimeData(data);
    });
}

} // namespace folvane
