#include "ui/FileTypesPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "recognisers/Registry.h"

namespace pelorin::ui {
namespace {

enum class Group { Photos, CameraRaw, Audio, Video };

Group groupOf(std::string_view category) {
    if (category == "IMAGE" || category == "PHOTOSHOP DOC") return Group::Photos;
    if (category == "AUDIO") return Group::Audio;
    if (category == "VIDEO" || category == "AUDIO/VIDEO") return Group::Video;
    return Group::CameraRaw;  // every other category names a camera maker
}

bool byKey(FileType a, FileType b) { return info(a).typeKey < info(b).typeKey; }

constexpr int kBoxesPerRow = 4;
constexpr char kReassemblySetting[] = "scan/putSplitPhotosBackTogether";

// Boxes in rows of a few, so a group reads at a glance.
QGroupBox* boxGroup(const QString& title, const std::vector<QCheckBox*>& boxes) {
    auto* group = new QGroupBox(title);
    auto* grid = new QGridLayout(group);
    for (std::size_t i = 0; i < boxes.size(); ++i)
        grid->addWidget(boxes[i], static_cast<int>(i) / kBoxesPerRow, static_cast<int>(i) % kBoxesPerRow);
    grid->setColumnStretch(kBoxesPerRow, 1);
    return group;
}

}  // namespace

QString FileTypesPage::titleCase(std::string_view name) {
    QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toLower();
    bool wordStart = true;
    for (QChar& c : text) {
        if (wordStart) c = c.toUpper();
        wordStart = !c.isLetter();
    }
    return text;
}

FileTypesPage::FileTypesPage(QWidget* parent) : QWidget(parent) {
    const TypeSelection available = availableTypes();
    std::vector<FileType> types;
    for (const FileTypeInfo& type : registry())
        if (available.test(index(type.type))) types.push_back(type.type);
    std::sort(types.begin(), types.end(), byKey);

    std::map<Group, std::vector<QCheckBox*>> groups;
    std::map<QString, std::vector<QCheckBox*>> makers;  // by name, as shown
    for (FileType type : types) {
        const FileTypeInfo& about = info(type);
        auto* box = new QCheckBox(QString::fromUtf8(about.formatLabel.data(), static_cast<qsizetype>(about.formatLabel.size())));
        boxes[index(type)] = box;
        const Group group = groupOf(about.category);
        if (group == Group::CameraRaw)
            makers[titleCase(about.category)].push_back(box);
        else
            groups[group].push_back(box);
        connect(box, &QCheckBox::toggled, this, &FileTypesPage::showCount);
    }
    offered = static_cast<int>(types.size());

    auto* content = new QWidget;
    auto* columns = new QHBoxLayout(content);
    auto* left = new QVBoxLayout;
    for (auto [group, title] : {std::pair{Group::Photos, tr("Photos")}, std::pair{Group::Audio, tr("Audio")},
                                std::pair{Group::Video, tr("Video")}})
        if (!groups[group].empty()) left->addWidget(boxGroup(title, groups[group]));
    left->addStretch();
    columns->addLayout(left, 1);
    if (!makers.empty()) {
        auto* raw = new QGroupBox(tr("Camera raw"));
        auto* grid = new QGridLayout(raw);
        int row = 0;
        for (const auto& [maker, makerBoxes] : makers) {
            auto* name = new QLabel(maker);
            name->setStyleSheet(QStringLiteral("font-weight: bold"));
            grid->addWidget(name, row, 0);
            for (std::size_t i = 0; i < makerBoxes.size(); ++i) grid->addWidget(makerBoxes[i], row, 1 + static_cast<int>(i));
            ++row;
        }
        grid->setColumnStretch(grid->columnCount(), 1);
        auto* right = new QVBoxLayout;
        right->addWidget(raw);
        right->addStretch();
        columns->addLayout(right, 1);
    }

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    selectAll = new QCheckBox(tr("Select all"), this);
    reassembly = new QCheckBox(tr("Put split photos back together"), this);
    reassembly->setToolTip(tr("After the scan, look for the rest of photos that a used card split into pieces"));
    reassembly->setChecked(QSettings().value(kReassemblySetting, true).toBool());
    connect(reassembly, &QCheckBox::toggled, this, [](bool on) { QSettings().setValue(kReassemblySetting, on); });
    QStyle* style = this->style();
    auto* back = new QPushButton(style->standardIcon(QStyle::SP_ArrowBack), tr("Back"), this);
    scan = new QPushButton(QIcon::fromTheme(QStringLiteral("system-search"), style->standardIcon(QStyle::SP_ArrowForward)),
                           tr("Scan"), this);
    scan->setDefault(true);

    sectorSizeLabel = new QLabel(tr("Sector size:"), this);
    sectorSizes = new QComboBox(this);
    for (int size : {512, 1024, 2048, 4096}) sectorSizes->addItem(tr("%1 bytes").arg(size), size);
    sectorSizeLabel->setBuddy(sectorSizes);
    sectorSizes->setToolTip(tr("The sector size of the drive the image was made from: 512 bytes unless it had larger sectors"));
    setDiskImageSectorSizes(false, 512);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(selectAll);
    buttons->addSpacing(12);
    buttons->addWidget(reassembly);
    buttons->addStretch();
    buttons->addWidget(sectorSizeLabel);
    buttons->addWidget(sectorSizes);
    buttons->addSpacing(12);
    buttons->addWidget(back);
    buttons->addWidget(scan);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);

    connect(selectAll, &QCheckBox::clicked, this, &FileTypesPage::tickAll);
    connect(back, &QPushButton::clicked, this, &FileTypesPage::backClicked);
    connect(scan, &QPushButton::clicked, this, &FileTypesPage::scanClicked);
    enterWithAllTicked();
}

void FileTypesPage::enterWithAllTicked() { tickAll(true); }

void FileTypesPage::tickAll(bool ticked) {
    for (QCheckBox* box : boxes) {
        if (!box) continue;
        const QSignalBlocker quiet(box);  // one recount at the end, not one per box
        box->setChecked(ticked);
    }
    showCount();
}

void FileTypesPage::showCount() {
    const int ticked = numberOfFileTypeSelected();
    const bool all = ticked == offered && offered > 0;
    selectAll->setChecked(all);
    selectAll->setToolTip(all ? tr("Deselect all file types") : tr("Select all file types"));
    scan->setEnabled(ticked > 0);
}

TypeSelection FileTypesPage::tickedTypes() const {
    TypeSelection ticked;
    for (std::size_t i = 0; i < kFileTypeCount; ++i) ticked.set(i, boxes[i] && boxes[i]->isChecked());
    return ticked;
}

bool FileTypesPage::putSplitPhotosBackTogether() const { return reassembly->isChecked(); }

int FileTypesPage::numberOfFileTypeSelected() const { return static_cast<int>(tickedTypes().count()); }

std::vector<FileType> FileTypesPage::tickedInKeyOrder() const {
    const TypeSelection ticked = tickedTypes();
    std::vector<FileType> types;
    for (std::size_t i = 0; i < kFileTypeCount; ++i)
        if (ticked.test(i)) types.push_back(static_cast<FileType>(i));
    std::sort(types.begin(), types.end(), byKey);
    return types;
}

}  // namespace pelorin::ui

namespace pelorin::ui {

void FileTypesPage::setDiskImageSectorSizes(bool shown, int current) {
    sectorSizeLabel->setVisible(shown);
    sectorSizes->setVisible(shown);
    const int at = sectorSizes->findData(current);
    sectorSizes->setCurrentIndex(at >= 0 ? at : 0);
}

int FileTypesPage::diskImageSectorSize() const { return sectorSizes->currentData().toInt(); }

}  // namespace pelorin::ui
