#include "config/uConfigEx.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>


#include "config/ConfigStore.h"
#include "config/SaveOrSay.h"

namespace folvane {

TFMConfig::TFMConfig(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FMConfig"));
    setWindowTitle(QStringLiteral("Config visible columns"));
    setFixedSize(217, 280);

    label_ = new QLabel(QStringLiteral("Config visible columns:"), this);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->move(17, 9);
    label_->resize(std::max(107, label_->sizeHint().width()), std::max(13, label_->sizeHint().height()));

    panel_ = new QFrame(this);
    panel_->setObjectName(QStringLiteral("Panel1"));
    panel_->setGeometry(16, 27, 186, 207);
    panel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel_->setLineWidth(2);

    list_ = new QListWidget(panel_);
    list_->setObjectName(QStringLiteral("clbList"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *layout = new QVBoxLayout(panel_);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(list_);

    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("BitBtn1"));
    ok_->setGeometry(37, 245, 75, 25);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("BitBtn2"));
    cancel_->setGeometry(125, 245, 75, 25);
    // Neither is the default button: Enter and Escape press nothing.
    for (QPushButton *button : {ok_, cancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    setTabOrder(list_, ok_);
    setTabOrder(ok_, cancel_);

    connect(ok_, &QPushButton::clicked, this, [this] { okClicked(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    if (QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFMConfig::LoadColumns()
{
    list_->clear();
    const TXMLNodesType nodes = GetConfig().XMLConfig()->Nodes();
    const int count = nodes.Count();
    for (int i = 0; i < count; ++i) {
        const TXMLNodeType node = nodes.Node(i);
        auto *row = new QListWidgetItem(QString::fromStdString(node.Name()), list_);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setCheckState(node.Visible() ? Qt::Checked : Qt::Unchecked);
        row->setSizeHint(QSize(0, 18));
    }
    if (count > 0)
        list_->setCurrentRow(0, QItemSelectionModel::NoUpdate);
}

void TFMConfig::StoreColumns()
{
    TConfig &config = GetConfig();
    const TXMLNodesType nodes = config.XMLConfig()->Nodes();
    const int count = nodes.Count();
    for (int i = 0; i < count; ++i) {
        const QListWidgetItem *row = list_->item(i);
        nodes.Node(i).SetVisible(row && row->checkState() == Qt::Checked);
    }
    config.Save();
}

void TFMConfig::okClicked()
{
    const auto store = [this] {
        StoreColumns();
        return true;
    };
    if (SavedOrSaid(store, "column settings"))
        accept();
}

bool TFMConfig::Execute()
{
    LoadColumns();
    return exec() == QDialog::Accepted;
}

void TFMConfig::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept(); // neither closes the dialog
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace folvane
