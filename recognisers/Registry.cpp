#include "recognisers/Registry.h"

#include <algorithm>
#include <cctype>

#include "recognisers/media/AifFileCheck.h"
#include "recognisers/media/AmrFileCheck.h"
#include "recognisers/media/AviFileCheck.h"
#include "recognisers/media/BmpFileCheck.h"
#include "recognisers/media/FlacFileCheck.h"
#include "recognisers/media/GifFileCheck.h"
#include "recognisers/media/HeifFileCheck.h"
#include "recognisers/media/IsoBaseMediaFileCheck.h"
#include "recognisers/media/JpgFileCheck.h"
#include "recognisers/media/MatroskaFileCheck.h"
#include "recognisers/media/MidFileCheck.h"
#include "recognisers/media/Mp3FileCheck.h"
#include "recognisers/media/MpgFileCheck.h"
#include "recognisers/media/MtsFileCheck.h"
#include "recognisers/media/OggFileCheck.h"
#include "recognisers/media/PngFileCheck.h"
#include "recognisers/media/PsdFileCheck.h"
#include "recognisers/media/RaFileCheck.h"
#include "recognisers/media/RmFileCheck.h"
#include "recognisers/media/WavFileCheck.h"
#include "recognisers/media/WebpFileCheck.h"
#include "recognisers/raw/Cr3FileCheck.h"
#include "recognisers/raw/CrwFileCheck.h"
#include "recognisers/raw/MrwFileCheck.h"
#include "recognisers/raw/RafFileCheck.h"
#include "recognisers/raw/TiffFileCheck.h"
#include "recognisers/raw/TiffRawFileCheck.h"
#include "recognisers/raw/X3fFileCheck.h"

namespace pelorin {
namespace {

template <class R>
constexpr RecogniserFactory make = makeRecogniser<R>;

using T = FileType;

// clang-format off
constexpr TypeTable kRegistry{{
//   type            1st   key     folder                 ext      preview iso    typeKey    label        category          factory
    {T::Mpg,          0x00, "mpg",  "MPG Files",           ".mpg",  false, false, "36mpg",   "MPG",       "VIDEO",          make<MpgFileCheck>},
    {T::Mrw,          0x00, "mrw",  "MRW Files",           ".mrw",  false, false, "12mrw",   "MRW",       "MINOLTA",        make<MrwFileCheck>},
    {T::Mts,          0x00, "mts",  "MTS Files",           ".mts",  false, false, "50mts",   "MTS",       "VIDEO",          make<MtsFileCheck>},
    {T::Mkv,          0x1A, "mkv",  "MKV Files",           ".mkv",  false, false, "48mkv",   "MKV",       "VIDEO",          make<MatroskaFileCheck>},
    {T::Webm,         0x1A, "webm", "WEBM Files",          ".webm", false, false, "49webm",  "WEBM",      "VIDEO",          make<WebmFileCheck>},
    {T::Amr,          0x23, "amr",  "AMR Files",           ".amr",  false, false, "27amr",   "AMR",       "AUDIO",          make<AmrFileCheck>},
    {T::Ra,           0x2E, "ra",   "RA Files",            ".ra",   false, false, "37ra",    "RA",        "AUDIO",          make<RaFileCheck>},
    {T::Rm,           0x2E, "rm",   "RM Files",            ".rm",   false, false, "38rm",    "RM",        "AUDIO/VIDEO",    make<RmFileCheck>},
    {T::Psd,          0x38, "psd",  "PSD Files",           ".psd",  false, false, "18psd",   "PSD",       "PHOTOSHOP DOC",  make<PsdFileCheck>},
    {T::Bmp,          0x42, "bmp",  "BMP Files",           ".bmp",  false, false, "02bmp",   "BMP",       "IMAGE",          make<BmpFileCheck>},
    {T::Raf,          0x46, "raf",  "RAF Files",           ".raf",  true,  false, "19raf",   "RAF",       "FUJI",           make<RafFileCheck>},
    {T::X3f,          0x46, "x3f",  "X3F Files",           ".x3f",  true,  false, "23x3f",   "X3F",       "SIGMA",          make<X3fFileCheck>},
    {T::Aif,          0x46, "aif",  "AIFF Files",          ".aiff", false, false, "26aif",   "AIF",       "AUDIO",          make<AifFileCheck>},
    {T::Gif,          0x47, "gif",  "GIF Files",           ".gif",  false, false, "07gif",   "GIF",       "IMAGE",          make<GifFileCheck>},
    {T::Mp3,          0x49, "mp3",  "MP3 Files",           ".mp3",  false, false, "34mp3",   "MP3",       "AUDIO",          make<Mp3FileCheck>},
    {T::Arw,          0x49, "arw",  "ARW Files",           ".arw",  true,  false, "01arw",   "ARW",       "SONY",           make<ArwFileCheck>},
    {T::Sr2,          0x49, "sr2",  "SR2 Files",           ".sr2",  true,  false, "21sr2",   "SR2",       "SONY",           make<Sr2FileCheck>},
    {T::Kdc,          0x49, "kdc",  "Kodak kdc Files",     ".kdc",  false, false, "10kdc",   "KDC",       "KODAK",          make<KdcFileCheck>},
    {T::K25,          0x49, "k25",  "Kodak k25 Files",     ".k25",  false, false, "09k25",   "K25",       "KODAK",          make<K25FileCheck>},
    {T::Dcr,          0x49, "dcr",  "Kodak Dcr Files",     ".dcr",  false, false, "05dcr",   "DCR",       "KODAK",          make<DcrFileCheck>},
    {T::Pef,          0x49, "pef",  "PEF Files",           ".pef",  true,  false, "16pef",   "PEF",       "PENTAX",         make<PefFileCheck>},
    {T::Dng,          0x49, "dng",  "DNG Files",           ".dng",  true,  false, "06dng",   "DNG",       "IMAGE",          make<DngFileCheck>},
    {T::Cr2,          0x49, "cr2",  "CR2 Files",           ".cr2",  true,  false, "03cr2",   "CR2",       "CANON",          make<Cr2FileCheck>},
    {T::Nef,          0x49, "nef",  "NIKON (NEF) Files",   ".nef",  true,  false, "13nef",   "NEF",       "NIKON",          make<NefFileCheck>},
    {T::Nrw,          0x49, "nrw",  "NIKON (NRW) Files",   ".nrw",  true,  false, "14nrw",   "NRW",       "NIKON",          make<NrwFileCheck>},
    {T::Tiff,         0x49, "tiff", "TIFF Files",          ".tiff", false, false, "22tiff",  "TIFF",      "IMAGE",          make<TiffFileCheck>},
    {T::Orf,          0x49, "orf",  "ORF Files",           ".orf",  true,  false, "15orf",   "ORF",       "OLYMPUS",        make<OrfFileCheck>},
    {T::RawPanasonic, 0x49, "raw",  "Panasonic Files",     ".raw",  true,  false, "20pana",  "PANASONIC", "PANASONIC",      make<RawPanasonicFileCheck>},
    {T::Leica,        0x49, "lei",  "Leica Files",         ".raw",  true,  false, "11leica", "LEICA",     "LEICA",          make<LeicaFileCheck>},
    {T::Threefr,      0x49, "3fr",  "HasselBlad Files",    ".3fr",  false, false, "00fr",    "3FR",       "HASSELBLAD",     make<ThreefrFileCheck>},
    {T::Crw,          0x49, "crw",  "CRW Files",           ".crw",  true,  false, "04crw",   "CRW",       "CANON",          make<CrwFileCheck>},
    {T::Mid,          0x4D, "mid",  "MID Files",           ".mid",  false, false, "32mid",   "MIDI",      "AUDIO",          make<MidFileCheck>},
    {T::Ogg,          0x4F, "ogg",  "OGG Files",           ".ogg",  false, false, "46ogg",   "OGG",       "AUDIO",          make<OggFileCheck>},
    {T::Opus,         0x4F, "opus", "OPUS Files",          ".opus", false, false, "47opus",  "OPUS",      "AUDIO",          make<OpusFileCheck>},
    {T::Avi,          0x52, "avi",  "AVI Files",           ".avi",  false, false, "28avi",   "AVI",       "VIDEO",          make<AviFileCheck>},
    {T::Wav,          0x52, "wav",  "WAV Files",           ".wav",  false, false, "39wav",   "WAV",       "AUDIO",          make<WavFileCheck>},
    {T::Webp,         0x52, "webp", "WEBP Files",          ".webp", false, false, "44webp",  "WEBP",      "IMAGE",          make<WebpFileCheck>},
    {T::Flac,         0x66, "flac", "FLAC Files",          ".flac", false, false, "45flac",  "FLAC",      "AUDIO",          make<FlacFileCheck>},
    {T::Png,          0x89, "png",  "PNG Files",           ".png",  false, false, "17png",   "PNG",       "IMAGE",          make<PngFileCheck>},
    {T::Jpg,          0xFF, "jpg",  "JPG Files",           ".jpg",  false, false, "08jpg",   "JPG",       "IMAGE",          make<JpgFileCheck>},
    {T::Cr3,          0x00, "cr3",  "CR3 Files",           ".cr3",  true,  true,  "40cr3",   "CR3",       "CANON",          make<Cr3FileCheck>},
    {T::Heic,         0x00, "heic", "HEIC Files",          ".heic", false, true,  "41heic",  "HEIC",      "IMAGE",          make<HeicFileCheck>},
    {T::Heif,         0x00, "heif", "HEIF Files",          ".heif", false, true,  "42heif",  "HEIF",      "IMAGE",          make<HeifFileCheck>},
    {T::Avif,         0x00, "avif", "AVIF Files",          ".avif", false, true,  "43avif",  "AVIF",      "IMAGE",          make<AvifFileCheck>},
    {T::Mov,          0x00, "mov",  "MOV Files",           ".mov",  false, true,  "33mov",   "MOV",       "VIDEO",          make<MovFileCheck>},
    {T::Mp4,          0x00, "mp4",  "MP4 Files",           ".mp4",  false, true,  "35mp4",   "MP4",       "AUDIO/VIDEO",    make<Mp4FileCheck>},
    {T::M4a,          0x00, "m4a",  "M4A Files",           ".m4a",  false, true,  "29m4a",   "M4A",       "AUDIO",          make<M4aFileCheck>},
    {T::M4b,          0x00, "m4b",  "M4B Files",           ".m4b",  false, true,  "30m4b",   "M4B",       "AUDIO",          make<M4bFileCheck>},
    {T::M4v,          0x00, "m4v",  "M4V Files",           ".m4v",  false, true,  "31m4v",   "M4V",       "AUDIO/VIDEO",    make<M4vFileCheck>},
    {T::ThreeGp,      0x00, "3gp",  "3GP Files",           ".3gp",  false, true,  "25gp",    "3GP",       "VIDEO",          make<ThreeGpFileCheck>},
    {T::ThreeGTwo,    0x00, "3g2",  "3G2 Files",           ".3g2",  false, true,  "24g2",    "3G2",       "VIDEO",          make<ThreeGTwoFileCheck>},
}};
// clang-format on

constexpr bool registryIsInOrder() {
    for (std::size_t i = 0; i < kRegistry.size(); ++i)
        if (index(kRegistry[i].type) != i) return false;
    return true;
}
static_assert(registryIsInOrder(), "registry rows must follow the FileType order");

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

const TypeTable& registry() { return kRegistry; }

const FileTypeInfo& info(FileType type) { return kRegistry[index(type)]; }

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
