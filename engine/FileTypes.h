#pragma once
// The file types as the loop knows them: their order, and the row of the type
// table (recognisers/Registry.h) it registers them from.

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/ScanContext.h"

namespace pelorin {

class Recogniser;

// In registry order: the order the loop offers each sector in.
enum class FileType : uint8_t {
    Mpg, Mrw, Mts, Mkv, Webm, Amr, Ra, Rm, Psd, Bmp, Raf, X3f, Aif, Gif, Mp3,
    Arw, Sr2, Kdc, K25, Dcr, Pef, Dng, Cr2, Nef, Nrw, Tiff, Orf, RawPanasonic, Leica, Threefr,
    Crw, Mid, Ogg, Opus, Avi, Wav, Webp, Flac, Png, Jpg,
    Cr3, Heic, Heif, Avif, Mov, Mp4, M4a, M4b, M4v, ThreeGp, ThreeGTwo,
};
inline constexpr std::size_t kFileTypeCount = 51;

using TypeSelection = std::bitset<kFileTypeCount>;
constexpr std::size_t index(FileType type) { return static_cast<std::size_t>(type); }

// The types added to the first forty. Their folders take an id only when their
// first file is found, so a scan that finds none of them numbers its tree as
// a scan of the forty alone did.
constexpr bool isAddedType(FileType type) {
    switch (type) {
    case FileType::Cr3: case FileType::Heic: case FileType::Heif: case FileType::Avif: case FileType::Webp:
    case FileType::Flac: case FileType::Ogg: case FileType::Opus: case FileType::Mkv: case FileType::Webm:
    case FileType::Mts:
        return true;
    default:
        return false;
    }
}

// Makes a type's recogniser for one scan; `ticked` is every type of that scan,
// for recognisers whose answer depends on which others are asked before them.
using RecogniserFactory = std::unique_ptr<Recogniser> (*)(ScanContext&, const TypeSelection& ticked);

struct FileTypeInfo {
    FileType type;
    uint8_t firstByte;               // no header of the type starts with a lower byte
    std::string_view parentKey;
    std::string_view folderName;
    std::string_view extension;
    bool reportsPreview;             // can report an embedded preview JPEG
    bool isoBaseMedia;
    std::string_view typeKey;        // sorts the selected-types table
    std::string_view formatLabel;
    std::string_view category;
    RecogniserFactory factory;       // null while the type cannot be scanned yet
};

using TypeTable = std::array<FileTypeInfo, kFileTypeCount>;

// The order in which non-empty type folders are attached to the root at the
// end of a scan ("RAW Jpg Files" comes before all of them).
inline constexpr std::array<FileType, kFileTypeCount> kAttachOrder{
    FileType::ThreeGTwo, FileType::ThreeGp, FileType::Aif, FileType::Amr, FileType::Arw, FileType::Avi,
    FileType::Avif, FileType::Bmp, FileType::Cr2, FileType::Cr3, FileType::Crw, FileType::Dng,
    FileType::Flac, FileType::Gif, FileType::Threefr, FileType::Heic, FileType::Heif, FileType::Jpg,
    FileType::Dcr, FileType::K25, FileType::Kdc, FileType::Leica, FileType::M4a, FileType::M4b,
    FileType::M4v, FileType::Mid, FileType::Mkv, FileType::Mov, FileType::Mp3, FileType::Mp4,
    FileType::Mpg, FileType::Mrw, FileType::Mts, FileType::Nrw, FileType::Nef, FileType::Ogg,
    FileType::Opus, FileType::Orf, FileType::RawPanasonic, FileType::Pef, FileType::Png, FileType::Psd,
    FileType::Ra, FileType::Raf, FileType::Rm, FileType::Sr2, FileType::Tiff, FileType::Wav,
    FileType::Webm, FileType::Webp, FileType::X3f,
};

inline constexpr std::string_view kRawJpgFolderName = "RAW Jpg Files";

}  // namespace pelorin
