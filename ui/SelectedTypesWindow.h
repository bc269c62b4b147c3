#pragma once
// A small window, beside the scanning page, listing the types the scan looks for.

#include <QDialog>

namespace pelorin::ui {

class SelectedTypesModel;

class SelectedTypesWindow final : public QDialog {
    Q_OBJECT
public:
    SelectedTypesWindow(SelectedTypesModel& model, QWidget* parent = nullptr);
};

}  // namespace pelorin::ui
