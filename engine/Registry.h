#pragma once
// The forty file types: the order in which the loop asks their recognisers,
// their folders and names, and how the user refers to them.

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "engine/Recogniser.h"

namespace pelorin {

// In registry order: the order the loop offers each sector in.
enum class FileType : uint8_t {
    Mpg, Mrw, Amr, Ra, Rm, Psd, Bmp, Raf, X3f, Aif, Gif, Mp3,
    Arw, Sr2, Kdc, K25, Dcr, Pef, Dng, Cr2, Nef, Nrw, Tiff, Orf, RawPanasonic, Leica, Threefr,
    Crw, Mid, Avi, Wav, Png, Jpg,
    Mov, Mp4, M4a, M4b, M4v, ThreeGp, ThreeGTwo,
};
inline constexpr std::size_t kFileTypeCount = 40;

using TypeSelection = std::bitset<kFileTypeCount>;
using RecogniserFactory = std::unique_ptr<Recogniser> (*)(ScanContext&);

struct FileTypeInfo {
    FileType type;
    int order;                       // 1 to 40
    std::string_view recogniserClass;
    std::string_view typeFlag;       // the controller's flag behind the type's check box
    uint8_t firstByte;               // firstByteOfHeader of the recogniser
    std::string_view parentKey;
    std::string_view folderName;
    std::string_view extension;
    bool TiffSelectionFlags::*selectionFlag;  // TIFF-family members only
    bool reportsPreview;             // can report an embedded preview JPEG
    bool isoBaseMedia;
    std::string_view typeKey;        // sorts the selected-types table
    std::string_view formatLabel;
    std::string_view category;
    RecogniserFactory factory;       // null while the type cannot be scanned yet
};

std::span<const FileTypeInfo, kFileTypeCount> registry();
const FileTypeInfo& info(FileType type);
inline std::size_t index(FileType type) { return static_cast<std::size_t>(type); }

// The order in which non-empty type folders are attached to the root at the
// end of a scan ("RAW Jpg Files" comes before all of them).
std::span<const FileType, kFileTypeCount> attachOrder();

inline constexpr std::string_view kRawJpgFolderName = "RAW Jpg Files";

// A type by parent key or format label, case-insensitive.
std::optional<FileType> findFileType(std::string_view name);

// Every type whose recogniser exists.
TypeSelection availableTypes();

}  // namespace pelorin
