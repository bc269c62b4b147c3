#pragma once
// The second page: which file types a scan looks for. One check box per type
// that can be scanned, grouped as photos, camera raw (by maker), audio and
// video, a "Select all" box, "Back" and "Scan", and whether split photos are
// put back together after the scan (remembered).

#include <QWidget>
#include <array>
#include <vector>

#include "engine/FileTypes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace pelorin::ui {

class FileTypesPage final : public QWidget {
    Q_OBJECT
public:
    explicit FileTypesPage(QWidget* parent = nullptr);

    // Entering the page ticks every type.
    void enterWithAllTicked();

    TypeSelection tickedTypes() const;
    int numberOfFileTypeSelected() const;
    // By type key: 3FR first, WAV last.
    std::vector<FileType> tickedInKeyOrder() const;

    // The type's check box; null for a type that cannot be scanned.
    QCheckBox* checkBox(FileType type) const { return boxes[index(type)]; }
    QCheckBox* selectAllBox() const { return selectAll; }
    QPushButton* scanButton() const { return scan; }
    QCheckBox* reassemblyBox() const { return reassembly; }
    // Whether the scan is followed by the pass that puts split photos back together.
    bool putSplitPhotosBackTogether() const;

    // A disk image also asks for its sector size; a drive has its own.
    void setDiskImageSectorSizes(bool shown, int current);
    int diskImageSectorSize() const;

    // A maker's name as shown: "CANON" reads "Canon".
    static QString titleCase(std::string_view name);

signals:
    void backClicked();
    void scanClicked();

private:
    void tickAll(bool ticked);
    void showCount();

    std::array<QCheckBox*, kFileTypeCount> boxes{};
    int offered = 0;
    QCheckBox* selectAll;
    QCheckBox* reassembly;
    QPushButton* scan;
    QLabel* sectorSizeLabel;
    QComboBox* sectorSizes;
};

}  // namespace pelorin::ui
