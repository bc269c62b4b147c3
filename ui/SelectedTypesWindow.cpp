#include "ui/SelectedTypesWindow.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/SelectedTypesModel.h"

namespace pelorin::ui {

SelectedTypesWindow::SelectedTypesWindow(SelectedTypesModel& model, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Selected File Types"));
    setModal(false);
    auto* table = new QTableView(this);
    table->setModel(&model);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(false);
    table->setFocusPolicy(Qt::NoFocus);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(320, 420);
}

}  // namespace pelorin::ui
