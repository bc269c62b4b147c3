#include "engine/Registry.h"

#include <algorithm>
#include <cctype>

#include "recognisers/media/AifFileCheck.h"
#include "recognisers/media/AmrFileCheck.h"
#include "recognisers/media/AviFileCheck.h"
#include "recognisers/media/BmpFileCheck.h"
#include "recognisers/media/GifFileCheck.h"
#include "recognisers/media/IsoBaseMediaFileCheck.h"
#include "recognisers/media/JpgFileCheck.h"
#include "recognisers/media/MidFileCheck.h"
#include "recognisers/media/Mp3FileCheck.h"
#include "recognisers/media/MpgFileCheck.h"
#include "recognisers/media/PngFileCheck.h"
#include "recognisers/media/PsdFileCheck.h"
#include "recognisers/media/RaFileCheck.h"
#include "recognisers/media/RmFileCheck.h"
#include "recognisers/media/WavFileCheck.h"
#include "recognisers/raw/CrwFileCheck.h"
#include "recognisers/raw/MrwFileCheck.h"
#include "recognisers/raw/RafFileCheck.h"
#include "recognisers/raw/TiffFileCheck.h"
#include "recognisers/raw/TiffRawFileCheck.h"
#include "recognisers/raw/X3fFileCheck.h"

namespace pelorin {
namespace {

template <class R>
std::unique_ptr<Recogniser> make(ScanContext& context) {
    return std::make_unique<R>(context);
}

using T = FileType;
using S = TiffSelectionFlags;
constexpr bool S::*kNone = nullptr;

// clang-format off
constexpr std::array<FileTypeInfo, kFileTypeCount> kRegistry{{
//   type            order class                   type flag                        1st   key     folder                 ext      TIFF-family flag            preview iso    typeKey    label        category          factory
    {T::Mpg,          1, "MpgFileCheck",          "mpgFileSelectionFlag",          0x00, "mpg",  "MPG Files",           ".mpg",  kNone,                      false, false, "36mpg",   "MPG",       "VIDEO",          make<MpgFileCheck>},
    {T::Mrw,          2, "MrwFileCheck",          "mrwFileSelectionFlag",          0x00, "mrw",  "MRW Files",           ".mrw",  kNone,                      false, false, "12mrw",   "MRW",       "MINOLTA",        make<MrwFileCheck>},
    {T::Amr,          3, "AmrFileCheck",          "amrFileSelectionFlag",          0x23, "amr",  "AMR Files",           ".amr",  kNone,                      false, false, "27amr",   "AMR",       "AUDIO",          make<AmrFileCheck>},
    {T::Ra,           4, "RaFileCheck",           "raFileSelectionFlag",           0x2E, "ra",   "RA Files",            ".ra",   kNone,                      false, false, "37ra",    "RA",        "AUDIO",          make<RaFileCheck>},
    {T::Rm,           5, "RmFileCheck",           "rmFileSelectionFlag",           0x2E, "rm",   "RM Files",            ".rm",   kNone,                      false, false, "38rm",    "RM",        "AUDIO/VIDEO",    make<RmFileCheck>},
    {T::Psd,          6, "PsdFileCheck",          "psdFileSelectionFlag",          0x38, "psd",  "PSD Files",           ".psd",  kNone,                      false, false, "18psd",   "PSD",       "PHOTOSHOP DOC",  make<PsdFileCheck>},
    {T::Bmp,          7, "BmpFileCheck",          "bmpFileSelectionFlag",          0x42, "bmp",  "BMP Files",           ".bmp",  kNone,                      false, false, "02bmp",   "BMP",       "IMAGE",          make<BmpFileCheck>},
    {T::Raf,          8, "RafFileCheck",          "rafFileSelectionFlag",          0x46, "raf",  "RAF Files",           ".raf",  kNone,                      true,  false, "19raf",   "RAF",       "FUJI",           make<RafFileCheck>},
    {T::X3f,          9, "X3fFileCheck",          "x3fFileSelectionFlag",          0x46, "x3f",  "X3F Files",           ".x3f",  kNone,                      true,  false, "23x3f",   "X3F",       "SIGMA",          make<X3fFileCheck>},
    {T::Aif,         10, "AifFileCheck",          "aifFileSelectionFlag",          0x46, "aif",  "AIFF Files",          ".aiff", kNone,                      false, false, "26aif",   "AIF",       "AUDIO",          make<AifFileCheck>},
    {T::Gif,         11, "GifFileCheck",          "gifFileSelectionFlag",          0x47, "gif",  "GIF Files",           ".gif",  kNone,                      false, false, "07gif",   "GIF",       "IMAGE",          make<GifFileCheck>},
    {T::Mp3,         12, "Mp3FileCheck",          "mp3FileSelectionFlag",          0x49, "mp3",  "MP3 Files",           ".mp3",  kNone,                      false, false, "34mp3",   "MP3",       "AUDIO",          make<Mp3FileCheck>},
    {T::Arw,         13, "ArwFileCheck",          "arwFileSelectionFlag",          0x49, "arw",  "ARW Files",           ".arw",  &S::bArwSelected,           true,  false, "01arw",   "ARW",       "SONY",           make<ArwFileCheck>},
    {T::Sr2,         14, "Sr2FileCheck",          "sr2FileSelectionFlag",          0x49, "sr2",  "SR2 Files",           ".sr2",  &S::bSonySr2Selected,       true,  false, "21sr2",   "SR2",       "SONY",           make<Sr2FileCheck>},
    {T::Kdc,         15, "KdcFileCheck",          "kdcFileSelectionFlag",          0x49, "kdc",  "Kodak kdc Files",     ".kdc",  &S::bKdcSelected,           false, false, "10kdc",   "KDC",       "KODAK",          make<KdcFileCheck>},
    {T::K25,         16, "K25FileCheck",          "k25FileSelectionFlag",          0x49, "k25",  "Kodak k25 Files",     ".k25",  &S::bK25Selected,           false, false, "09k25",   "K25",       "KODAK",          make<K25FileCheck>},
    {T::Dcr,         17, "DcrFileCheck",          "dcrFileSelectionFlag",          0x49, "dcr",  "Kodak Dcr Files",     ".dcr",  &S::bKodakDcrSelected,      false, false, "05dcr",   "DCR",       "KODAK",          make<DcrFileCheck>},
    {T::Pef,         18, "PefFileCheck",          "pefFileSelectionFlag",          0x49, "pef",  "PEF Files",           ".pef",  &S::bPentaxSelected,        true,  false, "16pef",   "PEF",       "PENTAX",         make<PefFileCheck>},
    {T::Dng,         19, "DngFileCheck",          "dngFileSelectionFlag",          0x49, "dng",  "DNG Files",           ".dng",  &S::bDngSelected,           true,  false, "06dng",   "DNG",       "IMAGE",          make<DngFileCheck>},
    {T::Cr2,         20, "Cr2FileCheck",          "cr2FileSelectionFlag",          0x49, "cr2",  "CR2 Files",           ".cr2",  &S::bCanonSelected,         true,  false, "03cr2",   "CR2",       "CANON",          make<Cr2FileCheck>},
    {T::Nef,         21, "NefFileCheck",          "nefFileSelectionFlag",          0x49, "nef",  "NIKON (NEF) Files",   ".nef",  &S::bNikonSelected,         true,  false, "13nef",   "NEF",       "NIKON",          make<NefFileCheck>},
    {T::Nrw,         22, "NrwFileCheck",          "nrwFileSelectionFlag",          0x49, "nrw",  "NIKON (NRW) Files",   ".nrw",  &S::bNrwFileSelected,       true,  false, "14nrw",   "NRW",       "NIKON",          make<NrwFileCheck>},
    {T::Tiff,        23, "TiffFileCheck",         "tiffFileSelectionFlag",         0x49, "tiff", "TIFF Files",          ".tiff", &S::bTiffSelected,          false, false, "22tiff",  "TIFF",      "IMAGE",          make<TiffFileCheck>},
    {T::Orf,         24, "OrfFileCheck",          "orfFileSelectionFlag",          0x49, "orf",  "ORF Files",           ".orf",  &S::bOlympusSelected,       true,  false, "15orf",   "ORF",       "OLYMPUS",        make<OrfFileCheck>},
    {T::RawPanasonic,25, "RawPanasonicFileCheck", "rawPanasonicFileSelectionFlag", 0x49, "raw",  "Panasonic Files",     ".raw",  &S::bRawPanasonicSelected,  true,  false, "20pana",  "PANASONIC", "PANASONIC",      make<RawPanasonicFileCheck>},
    {T::Leica,       26, "LeicaFileCheck",        "leicaFileSelectionFlag",        0x49, "lei",  "Leica Files",         ".raw",  &S::bLeicaSelected,         true,  false, "11leica", "LEICA",     "LEICA",          make<LeicaFileCheck>},
    {T::Threefr,     27, "ThreefrFileCheck",      "threeFrFileSelectionFlag",      0x49, "3fr",  "HasselBlad Files",    ".3fr",  &S::bThreefrFileSelected,   false, false, "00fr",    "3FR",       "HASSELBLAD",     make<ThreefrFileCheck>},
    {T::Crw,         28, "CrwFileCheck",          "crwFileSelectionFlag",          0x49, "crw",  "CRW Files",           ".crw",  kNone,                      true,  false, "04crw",   "CRW",       "CANON",          make<CrwFileCheck>},
    {T::Mid,         29, "MidFileCheck",          "midFileSelectionFlag",          0x4D, "mid",  "MID Files",           ".mid",  kNone,                      false, false, "32mid",   "MIDI",      "AUDIO",          make<MidFileCheck>},
    {T::Avi,         30, "AviFileCheck",          "aviFileSelectionFlag",          0x52, "avi",  "AVI Files",           ".avi",  kNone,                      false, false, "28avi",   "AVI",       "VIDEO",          make<AviFileCheck>},
    {T::Wav,         31, "WavFileCheck",          "wavFileSelectionFlag",          0x52, "wav",  "WAV Files",           ".wav",  kNone,                      false, false, "39wav",   "WAV",       "AUDIO",          make<WavFileCheck>},
    {T::Png,         32, "PngFileCheck",          "pngFileSelectionFlag",          0x89, "png",  "PNG Files",           ".png",  kNone,                      false, false, "17png",   "PNG",       "IMAGE",          make<PngFileCheck>},
    {T::Jpg,         33, "JpgFileCheck",          "jpgFileSelectionFlag",          0xFF, "jpg",  "JPG Files",           ".jpg",  kNone,                      false, false, "08jpg",   "JPG",       "IMAGE",          make<JpgFileCheck>},
    {T::Mov,         34, "MovFileCheck",          "movFileSelectionFlag",          0x00, "mov",  "MOV Files",           ".mov",  kNone,                      false, true,  "33mov",   "MOV",       "VIDEO",          make<MovFileCheck>},
    {T::Mp4,         35, "Mp4FileCheck",          "mp4FileSelectionFlag",          0x00, "mp4",  "MP4 Files",           ".mp4",  kNone,                      false, true,  "35mp4",   "MP4",       "AUDIO/VIDEO",    make<Mp4FileCheck>},
    {T::M4a,         36, "M4aFileCheck",          "m4aFileSelectionFlag",          0x00, "m4a",  "M4A Files",           ".m4a",  kNone,                      false, true,  "29m4a",   "M4A",       "AUDIO",          make<M4aFileCheck>},
    {T::M4b,         37, "M4bFileCheck",          "m4bFileSelectionFlag",          0x00, "m4b",  "M4B Files",           ".m4b",  kNone,                      false, true,  "30m4b",   "M4B",       "AUDIO",          make<M4bFileCheck>},
    {T::M4v,         38, "M4vFileCheck",          "m4vFileSelectionFlag",          0x00, "m4v",  "M4V Files",           ".m4v",  kNone,                      false, true,  "31m4v",   "M4V",       "AUDIO/VIDEO",    make<M4vFileCheck>},
    {T::ThreeGp,     39, "ThreeGpFileCheck",      "threeGpFileSelectionFlag",      0x00, "3gp",  "3GP Files",           ".3gp",  kNone,                      false, true,  "25gp",    "3GP",       "VIDEO",          make<ThreeGpFileCheck>},
    {T::ThreeGTwo,   40, "ThreeGTwoFileCheck",    "threeGTwoFileSelectionFlag",    0x00, "3g2",  "3G2 Files",           ".3g2",  kNone,                      false, true,  "24g2",    "3G2",       "VIDEO",          make<ThreeGTwoFileCheck>},
}};

constexpr std::array<FileType, kFileTypeCount> kAttachOrder{
    T::ThreeGTwo, T::ThreeGp, T::Aif, T::Amr, T::Arw, T::Avi, T::Bmp, T::Cr2, T::Crw, T::Dng,
    T::Gif, T::Threefr, T::Jpg, T::Dcr, T::K25, T::Kdc, T::Leica, T::M4a, T::M4b, T::M4v,
    T::Mid, T::Mov, T::Mp3, T::Mp4, T::Mpg, T::Mrw, T::Nrw, T::Nef, T::Orf, T::RawPanasonic,
    T::Pef, T::Png, T::Psd, T::Ra, T::Raf, T::Rm, T::Sr2, T::Tiff, T::Wav, T::X3f,
};
// clang-format on

constexpr bool registryIsInOrder() {
    for (std::size_t i = 0; i < kRegistry.size(); ++i)
        if (static_cast<std::size_t>(kRegistry[i].type) != i || kRegistry[i].order != int(i) + 1) return false;
    return true;
}
static_assert(registryIsInOrder(), "registry rows must follow the FileType order");

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

std::span<const FileTypeInfo, kFileTypeCount> registry() { return kRegistry; }

const FileTypeInfo& info(FileType type) { return kRegistry[index(type)]; }

std::span<const FileType, kFileTypeCount> attachOrder() { return kAttachOrder; }

std::optional<FileType> findFileType(std::string_view name) {
    for (const auto& row : kRegistry)
        if (equalsIgnoringCase(name, row.parentKey) || equalsIgnoringCase(name, row.formatLabel)) return row.type;
    return std::nullopt;
}

TypeSelection availableTypes() {
    TypeSelection available;
    for (const auto& row : kRegistry) available.set(index(row.type), row.factory != nullptr);
    return available;
}

}  // namespace pelorin
