#include "config/ScanOptionsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QVBoxLayout>


#include "catalog/Exclusions.h"
#include "common/UiServices.h"
#include "config/ConfigStore.h"
#include "config/SaveOrSay.h"

namespace folvane {

namespace {

QGroupBox *group(const QString &title, QWidget *content)
{
    auto *box = new QGroupBox(title);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

QLabel *note(const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

} // namespace

TFMScanOptions::TFMScanOptions(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FMScanOptions"));
    setWindowTitle(QStringLiteral("Scan Options"));

    auto *sizes = new QWidget;
    auto *sizeRow = new QHBoxLayout(sizes);
    sizeRow->setContentsMargins(0, 0, 0, 0);
    apparent_ = new QRadioButton(QStringLiteral("Apparent size"));
    apparent_->setObjectName(QStringLiteral("rbApparent"));
    apparent_->setToolTip(QStringLiteral("The length of each file's content"));
    diskUsage_ = new QRadioButton(QStringLiteral("Disk usage"));
    diskUsage_->setObjectName(QStringLiteral("rbDiskUsage"));
    diskUsage_->setToolTip(QStringLiteral("The blocks each file occupies on disk, as du counts them"));
    sizeRow->addWidget(apparent_);
    sizeRow->addWidget(diskUsage_);
    sizeRow->addStretch(1);

    hardLinksOnce_ = new QCheckBox(QStringLiteral("Count a file with several names once"));
    hardLinksOnce_->setObjectName(QStringLiteral("cbHardLinksOnce"));
    oneFileSystem_ = new QCheckBox(QStringLiteral("Stay on the chosen folder's file system"));
    oneFileSystem_->setObjectName(QStringLiteral("cbOneFileSystem"));

    auto *exclusions = new QWidget;
    auto *excludeColumn = new QVBoxLayout(exclusions);
    excludeColumn->setContentsMargins(0, 0, 0, 0);
    excludeColumn->addWidget(new QLabel(QStringLiteral("Leave out the entries that match a pattern, one per line:")));
    exclude_ = new QPlainTextEdit;
    exclude_->setObjectName(QStringLiteral("mmExclude"));
    exclude_->setTabChangesFocus(true);
    exclude_->setLineWrapMode(QPlainTextEdit::NoWrap);
    exclude_->setFixedHeight(exclude_->fontMetrics().lineSpacing() * 6 + 12);
    excludeColumn->addWidget(exclude_);
    excludeColumn->addWidget(
        note(QStringLiteral("A pattern without \"/\" matches a name at any depth, one with \"/\" the path below the "
                            "chosen folder; a trailing \"/\" matches folders only. * matches any text, "
                            "? one character, [abc] one of those; letter case counts.")));

    auto *buttons = new QDialogButtonBox;
    ok_ = buttons->addButton(QDialogButtonBox::Ok);
    ok_->setObjectName(QStringLiteral("btnOK"));
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("btnCancel"));
    connect(ok_, &QPushButton::clicked, this, [this] { okClicked(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    auto *column = new QVBoxLayout(this);
    column->addWidget(group(QStringLiteral("Size counted"), sizes));
    column->addWidget(group(QStringLiteral("Hard links"), hardLinksOnce_));
    column->addWidget(group(QStringLiteral("File systems"), oneFileSystem_));
    column->addWidget(group(QStringLiteral("Exclusions"), exclusions));
    column->addWidget(note(QStringLiteral("The size counted and hard links apply at once to the catalogue shown; "
                                          "the other choices apply from the next scan.")));
    column->addWidget(buttons);
    setMinimumWidth(460);
}

void TFMScanOptions::LoadChoices(const ScanChoices &choices)
{
    (choices.sizeKind == SizeKind::DiskUsage ? diskUsage_ : apparent_)->setChecked(true);
    hardLinksOnce_->setChecked(choices.hardLinksOnce);
    oneFileSystem_->setChecked(choices.oneFileSystem);
    QStringList lines;
    for (const std::string &pattern : choices.exclude)
        lines << QString::fromStdString(pattern);
    exclude_->setPlainText(lines.join(QLatin1Char('\n')));
}

ScanChoices TFMScanOptions::Choices() const
{
    ScanChoices choices;
    choices.sizeKind = diskUsage_->isChecked() ? SizeKind::DiskUsage : SizeKind::Apparent;
    choices.hardLinksOnce = hardLinksOnce_->isChecked();
    choices.oneFileSystem = oneFileSystem_->isChecked();
    choices.exclude = ExcludeLines(exclude_->toPlainText().toStdString());
    return choices;
}

void TFMScanOptions::selectLine(int line)
{
    const QTextBlock block = exclude_->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    exclude_->setTextCursor(cursor);
    exclude_->setFocus();
}

bool TFMScanOptions::StoreChoices()
{
    const ScanChoices choices = Choices();
    for (const std::string &pattern : choices.exclude) {
        if (std::optional<std::string> why = CheckExcludePattern(pattern)) {
            for (QTextBlock b = exclude_->document()->begin(); b.isValid(); b = b.next())
                if (b.text().toStdString() == pattern) {
                    selectLine(b.blockNumber());
                    break;
                }
            Ui().MessageBox("The pattern \"" + pattern + "\" cannot be used: " + *why +
                                ".\n\nCorrect it or remove it, then press OK again.",
                            "Scan Options", MsgButtons::Ok, MsgIcon::Exclamation);
            return false;
        }
    }
    TConfig &config = GetConfig();
    config.XMLConfig()->ScanOptions().SetChoices(choices);
    config.Save();
    return true;
}

void TFMScanOptions::okClicked()
{
    if (SavedOrSaid([this] { return StoreChoices(); }, "scan options"))
        accept();
}

bool TFMScanOptions::Execute()
{
    LoadChoices(GetConfig().XMLConfig()->ScanOptions().Choices());
    return exec() == QDialog::Accepted;
}

} // namespace folvane
