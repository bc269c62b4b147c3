#include "drives/DriveFinder.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "drives/LibudevDeviceDatabase.h"

namespace pelorin {
namespace {

constexpr int kNoPathBuilt = 5;
constexpr int kEnumerationFailed = 1;

using Chain = std::span<const DeviceRecord>;

bool startsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string withoutTrailingBlanks(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0' || text.back() == '\t')) text.pop_back();
    return text;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::optional<uint64_t> wholeNumber(const std::string* text) {
    if (!text || !allDigits(*text) || text->size() > 19) return std::nullopt;
    return std::stoull(*text);
}

const DeviceRecord* nearest(Chain chain, std::string_view subsystem, std::string_view devtype = {}) {
    for (const DeviceRecord& record : chain)
        if (record.subsystem == subsystem && (devtype.empty() || record.devtype == devtype)) return &record;
    return nullptr;
}

// The first non-empty of several candidate values.
struct FirstOf {
    std::optional<std::string> value;
    FirstOf& orAttribute(const DeviceRecord* record, const char* name) {
        if (!value && record)
            if (const std::string* v = record->attribute(name); v && !v->empty()) value = *v;
        return *this;
    }
    FirstOf& orProperty(const DeviceRecord& record, const char* name, bool encoded = false) {
        if (!value)
            if (const std::string* v = record.property(name); v && !v->empty()) value = encoded ? decodeUdevText(*v) : *v;
        return *this;
    }
    FirstOf& orValue(std::optional<std::string> v) {
        if (!value && v && !v->empty()) value = std::move(v);
        return *this;
    }
};

// A partition is a volume when it carries a file system; swap, encrypted
// containers and RAID or LVM members do not count.
bool carriesFileSystem(const DeviceRecord& partition, std::string& type) {
    const std::string* fsType = partition.property("ID_FS_TYPE");
    if (!fsType || fsType->empty()) return false;
    type = *fsType;
    if (const std::string* usage = partition.property("ID_FS_USAGE")) return *usage == "filesystem";
    static constexpr std::string_view kContainers[] = {"swap", "crypto_LUKS", "LVM2_member", "linux_raid_member",
                                                       "bcache", "BitLocker"};
    return std::find(std::begin(kContainers), std::end(kContainers), *fsType) == std::end(kContainers);
}

// Card readers call themselves so; udev's own rules mark them with ID_DRIVE_FLASH_*.
bool looksLikeCardReader(const DeviceRecord& disk, const std::string& product) {
    for (const auto& [key, value] : disk.properties)
        if ((startsWith(key, "ID_DRIVE_FLASH") || startsWith(key, "ID_DRIVE_MEDIA_FLASH")) && value == "1") return true;
    const std::string name = lowercase(product);
    static constexpr std::string_view kReaderWords[] = {"sd/mmc", "card", "reader", "crw", "ms/ms", "xd-picture",
                                                        "compact flash", "sdxc", "sdhc", "microsd"};
    return std::any_of(std::begin(kReaderWords), std::end(kReaderWords),
                       [&](std::string_view word) { return name.find(word) != std::string::npos; });
}

uint64_t partitionNumber(const DeviceRecord& partition) {
    if (auto n = wholeNumber(partition.attribute("partition"))) return *n;
    if (auto n = wholeNumber(partition.property("PARTN"))) return *n;
    return 0;
}

// sda < sdb < sdaa, nvme0n2 < nvme0n10: names compared with their numbers as numbers.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
            while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

void describeIdentity(const DeviceRecord& disk, Chain above, bool usbOrFireWire, MediaDictionary& media) {
    const DeviceRecord* scsi = nearest(above, "scsi", "scsi_device");
    const DeviceRecord* nvme = nearest(above, "nvme");
    const DeviceRecord* mmc = nearest(above, "mmc");
    const DeviceRecord* usb = nearest(above, "usb", "usb_device");

    if (usbOrFireWire) {
        // The drive's own INQUIRY answer; its fixed-width fields are padded
        // with blanks that are no part of the name.
        auto vendor = FirstOf{}.orAttribute(scsi, "vendor").orProperty(disk, "ID_VENDOR_ENC", true)
                          .orProperty(disk, "ID_VENDOR").orAttribute(usb, "manufacturer").value;
        auto product = FirstOf{}.orAttribute(scsi, "model").orProperty(disk, "ID_MODEL_ENC", true)
                           .orProperty(disk, "ID_MODEL").orAttribute(usb, "product").value;
        auto revision = FirstOf{}.orAttribute(scsi, "rev").orProperty(disk, "ID_REVISION").value;
        // Always present on a USB or FireWire drive, so that every reader of
        // the dictionary tells the two kinds of drive apart the same way.
        media.set(mediakey::kVendorIdentification, withoutTrailingBlanks(vendor.value_or("")));
        media.set(mediakey::kProductIdentification, withoutTrailingBlanks(product.value_or("")));
        media.set(mediakey::kProductRevisionLevel, withoutTrailingBlanks(revision.value_or("")));
        if (auto serial = FirstOf{}.orProperty(disk, "ID_SERIAL_SHORT").orAttribute(usb, "serial").value)
            media.set(mediakey::kDeviceSerial, *serial);
        return;
    }

    std::optional<std::string> vpdSerial;
    if (scsi)
        if (const std::string* page = scsi->attribute("vpd_pg80")) vpdSerial = serialFromVpdPage80(*page);
    auto model = FirstOf{}.orProperty(disk, "ID_MODEL_ENC", true).orAttribute(nvme, "model")
                     .orAttribute(mmc, "name").orAttribute(scsi, "model").orProperty(disk, "ID_MODEL").value;
    auto serial = FirstOf{}.orProperty(disk, "ID_SERIAL_SHORT").orAttribute(nvme, "serial")
                      .orAttribute(mmc, "serial").orAttribute(&disk, "serial").orValue(vpdSerial).value;
    auto revision = FirstOf{}.orProperty(disk, "ID_REVISION").orAttribute(nvme, "firmware_rev")
                        .orAttribute(mmc, "fwrev").orAttribute(scsi, "rev").value;
    if (model) media.set(mediakey::kDeviceModel, *model);
    if (serial) media.set(mediakey::kDeviceSerial, *serial);
    if (revision) media.set(mediakey::kDeviceRevision, *revision);
}

std::string iconName(const DeviceRecord& disk, Chain above, bool usbOrFireWire, const MediaDictionary& media) {
    const std::string* cdrom = disk.property("ID_CDROM");
    if (startsWith(disk.sysname, "sr") || (cdrom && *cdrom == "1")) return "drive-optical";
    const std::string* removable = disk.attribute("removable");
    const bool isRemovable = removable && *removable == "1";
    if (const DeviceRecord* mmc = nearest(above, "mmc")) {
        const std::string* type = mmc->attribute("type");
        // A soldered eMMC is the machine's own disk; a card is a flash card.
        if (type && *type == "MMC" && !isRemovable) return "drive-harddisk";
        return "media-flash";
    }
    if (usbOrFireWire) {
        if (looksLikeCardReader(disk, media.textOrEmpty(mediakey::kProductIdentification))) return "media-flash";
        return isRemovable ? "drive-removable-media" : "drive-harddisk";
    }
    return "drive-harddisk";
}

}  // namespace

bool isUnlistedDiskName(const std::string& sysname) {
    for (std::string_view prefix : {"loop", "ram", "zram"})
        if (startsWith(sysname, prefix) && allDigits(std::string_view(sysname).substr(prefix.size()))) return true;
    if (startsWith(sysname, "mmcblk")) {
        std::string_view rest = std::string_view(sysname).substr(6);
        std::size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
        rest.remove_prefix(digits);
        if (rest == "rpmb" || (startsWith(std::string(rest), "boot") && allDigits(rest.substr(4)))) return true;
    }
    return false;
}

std::string decodeUdevText(const std::string& encoded) {
    std::string text;
    text.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(encoded[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(encoded[i + 3]))) {
            text.push_back(static_cast<char>(std::stoi(encoded.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            text.push_back(encoded[i]);
        }
    }
    return text;
}

std::optional<std::string> serialFromVpdPage80(const std::string& page) {
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80) return std::nullopt;
    const std::size_t length = (std::size_t(static_cast<unsigned char>(page[2])) << 8) | static_cast<unsigned char>(page[3]);
    std::string serial = page.substr(4, std::min(length, page.size() - 4));
    auto blank = [](char c) { return c == ' ' || c == '\0'; };
    while (!serial.empty() && blank(serial.back())) serial.pop_back();
    std::size_t start = 0;
    while (start < serial.size() && blank(serial[start])) ++start;
    serial.erase(0, start);
    if (serial.empty() || !std::all_of(serial.begin(), serial.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7f; }))
        return std::nullopt;
    return serial;
}

std::optional<MediaDictionary> describeMedium(const BlockDevice& block) {
    const bool isPartition = block.device.devtype == "partition";
    if (!isPartition && block.device.devtype != "disk") return std::nullopt;
    if (isPartition && block.ancestors.empty()) return std::nullopt;
    const DeviceRecord& disk = isPartition ? block.ancestors.front() : block.device;
    const Chain above = isPartition ? Chain(block.ancestors).subspan(1) : Chain(block.ancestors);
    if (isUnlistedDiskName(disk.sysname)) return std::nullopt;

    // sysfs counts sizes in 512-byte units whatever the logical block size.
    const uint64_t size = wholeNumber(block.device.attribute("size")).value_or(0) * 512;
    if (!isPartition && size == 0) return std::nullopt;  // a drive with no medium in it

    MediaDictionary media;
    std::string fileSystem;
    if (isPartition) {
        if (!carriesFileSystem(block.device, fileSystem)) return std::nullopt;
        media.set(mediakey::kWhetherVolume, int64_t{1});
        media.set(mediakey::kFileSystem, fileSystem);
    } else if (auto blockSize = wholeNumber(disk.attribute("queue/logical_block_size")); blockSize && *blockSize > 0) {
        media.set(mediakey::kPreferredBlockSize, static_cast<int64_t>(*blockSize));
    }

    const std::string* bus = disk.property("ID_BUS");
    const bool usbOrFireWire = nearest(above, "usb") || nearest(above, "firewire") || nearest(above, "ieee1394") ||
                               (bus && (*bus == "usb" || *bus == "ieee1394"));
    const DeviceRecord* scsi = nearest(above, "scsi", "scsi_device");
    const std::string* scsiVendor = scsi ? scsi->attribute("vendor") : nullptr;
    const bool ata = (bus && *bus == "ata") || (scsiVendor && withoutTrailingBlanks(*scsiVendor) == "ATA");
    if (usbOrFireWire)
        media.set(mediakey::kWhetherUSB, int64_t{1});
    else if (ata)
        media.set(mediakey::kWhetherSATA, int64_t{1});

    describeIdentity(disk, above, usbOrFireWire, media);
    media.set(mediakey::kIconName, iconName(disk, above, usbOrFireWire, media));
    media.set(mediakey::kDeviceSize, static_cast<int64_t>(size));
    media.set(mediakey::kDevicePath,
              block.device.devnode.empty() ? "/dev/" + block.device.sysname : block.device.devnode);
    return media;
}

int FindMedia(DeviceDatabase& database, MediaIterator& iterator) {
    // A failed enumeration lists no drives, which is what the user is shown.
    std::string error;
    if (!database.enumerate(iterator, error)) {
        iterator.clear();
        return kEnumerationFailed;
    }
    return 0;
}

int GetBSDPath(const MediaIterator& iterator, std::vector<MediaDictionary>& media) {
    std::vector<const BlockDevice*> disks;
    for (const BlockDevice& block : iterator)
        if (block.device.devtype == "disk") disks.push_back(&block);
    std::stable_sort(disks.begin(), disks.end(), [](const BlockDevice* a, const BlockDevice* b) {
        return naturalLess(a->device.sysname, b->device.sysname);
    });

    int result = kNoPathBuilt;
    for (const BlockDevice* disk : disks) {
        auto described = describeMedium(*disk);
        if (!described) continue;  // its partitions go with it
        media.push_back(std::move(*described));
        result = 0;

        std::vector<const BlockDevice*> partitions;
        for (const BlockDevice& block : iterator)
            if (block.device.devtype == "partition" && !block.ancestors.empty() &&
                block.ancestors.front().sysname == disk->device.sysname)
                partitions.push_back(&block);
        std::stable_sort(partitions.begin(), partitions.end(), [](const BlockDevice* a, const BlockDevice* b) {
            return partitionNumber(a->device) < partitionNumber(b->device);
        });
        for (const BlockDevice* partition : partitions)
            if (auto volume = describeMedium(*partition)) media.push_back(std::move(*volume));
    }
    return result;
}

int FindMediaMain(std::vector<MediaDictionary>& media, DeviceDatabase& database) {
    MediaIterator iterator;
    if (int result = FindMedia(database, iterator); result != 0) return result;
    GetBSDPath(iterator, media);
    return 0;
}

int FindMediaMain(std::vector<MediaDictionary>& media) {
    LibudevDeviceDatabase database;
    return FindMediaMain(media, database);
}

}  // namespace pelorin
