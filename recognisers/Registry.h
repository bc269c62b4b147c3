#pragma once
// The file types: the order in which the loop asks their recognisers,
// their folders and names, how the user refers to them, and the factory of
// each recogniser. The table in Registry.cpp is the one place that says so;
// the caller of a scan hands it to Scanning.

#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>

#include "engine/FileTypes.h"
#include "engine/Recogniser.h"

namespace pelorin {

// A recogniser of class R for a scan of the ticked types.
template <class R>
std::unique_ptr<Recogniser> makeRecogniser(ScanContext& context, const TypeSelection& ticked) {
    if constexpr (std::is_constructible_v<R, ScanContext&, const TypeSelection&>)
        return std::make_unique<R>(context, ticked);
    else
        return std::make_unique<R>(context);
}

const TypeTable& registry();
const FileTypeInfo& info(FileType type);

// A type by parent key or format label, case-insensitive.
std::optional<FileType> findFileType(std::string_view name);

// Every type whose recogniser exists.
TypeSelection availableTypes();

}  // namespace pelorin
