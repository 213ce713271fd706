#pragma once
// The progress window: a small frameless window over the main window while work runs, with a
// looping animation, a fixed line, the message line and, during a scan, the entries and bytes
// found so far with a working "Cancel".

#include <QWidget>

#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace folvane {

// A folder with a magnifying glass sweeping over it; it moves on its own timer, so it keeps
// moving for as long as the UI thread is free, which it is while work runs on a worker.
class TSearchAnimation final : public QWidget {
    Q_OBJECT
public:
    explicit TSearchAnimation(QWidget *parent = nullptr);
    void Start();
    void Stop();
    bool Running() const;
    int Frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer *timer_;
    int frame_ = 0;
};

class TWaitForm final : public QWidget {
    Q_OBJECT
public:
    explicit TWaitForm(QWidget *owner);

    // Shows the window centred over its owner with "Cancel" visible or not; hiding a hidden
    // window does nothing. Both paint at once.
    void ShowWaitForm(bool show, bool cancelVisible);
    void SetWaitText(const QString &text);
    QString WaitText() const;

    // The counts line below the message, shown while a scan reports its progress, once it has
    // found something (with no entries yet the line stays hidden): what was found so far and the
    // folders that could not be read once there are some; once the walk is over, what was found
    // and that the new catalogue is being sorted and classified.
    enum class ScanStage { Walking, Sorting };
    void SetCounts(std::uint64_t entries, std::uint64_t bytes, std::uint64_t foldersNotRead = 0,
                   ScanStage stage = ScanStage::Walking);
    void ClearCounts();
    // What "Cancel" does; without a handler it stops nothing.
    void SetCancelHandler(std::function<void()> handler) { cancel_ = std::move(handler); }

    QLabel *Label1() const { return label1_; }
    QLabel *Label2() const { return label2_; }
    QLabel *CountsLabel() const { return counts_; }
    QPushButton *SpeedButton1() const { return cancelButton_; }
    TSearchAnimation *Animate1() const { return animate_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    // Only ShowWaitForm hides it: a request to close all windows leaves it while work runs.
    void closeEvent(QCloseEvent *event) override;

private:
    void centreOverOwner();

    QWidget *owner_;
    TSearchAnimation *animate_;
    QLabel *label1_;
    QLabel *label2_;
    QLabel *counts_;
    QPushButton *cancelButton_;
    std::function<void()> cancel_;
};

} // namespace folvane
