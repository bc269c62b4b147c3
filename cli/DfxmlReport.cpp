#include "cli/DfxmlReport.h"

#include <pugixml.hpp>

namespace pelorin::cli {
namespace {

constexpr const char* kDfxmlNamespace = "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
constexpr const char* kDublinCoreNamespace = "http://purl.org/dc/elements/1.1/";

std::string compilerName() {
#if defined(__clang__)
    return "clang " __clang_version__;
#elif defined(__GNUC__)
    return "GCC " __VERSION__;
#else
    return "unknown";
#endif
}

// An xs:dateTime in UTC.
std::string isoTime(std::time_t when) {
    std::tm parts{};
    ::gmtime_r(&when, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void addText(pugi::xml_node parent, const char* name, const std::string& text) {
    parent.append_child(name).text().set(text.c_str());
}

void addNumber(pugi::xml_node parent, const char* name, unsigned long long value) {
    parent.append_child(name).text().set(value);
}

void addCreator(pugi::xml_node dfxml, const CommandRun& run) {
    pugi::xml_node creator = dfxml.append_child("creator");
    addText(creator, "program", "Pelorin");
    addText(creator, "version", run.version);
    pugi::xml_node build = creator.append_child("build_environment");
    addText(build, "compiler", compilerName());
    pugi::xml_node library = build.append_child("library");
    library.append_attribute("name") = "pugixml";
    library.append_attribute("version") = (std::to_string(PUGIXML_VERSION / 1000) + "." +
                                           std::to_string(PUGIXML_VERSION % 1000 / 10)).c_str();
    pugi::xml_node execution = creator.append_child("execution_environment");
    addText(execution, "command_line", run.commandLine);
    addText(execution, "start_time", isoTime(run.startTime));
}

void addFileObjects(pugi::xml_node dfxml, const FoundNode& node, uint32_t sectorSize,
                    const std::map<const FoundNode*, SavedFile>& saved) {
    if (node.fileType() == FoundNode::kFoundFile) {
        pugi::xml_node object = dfxml.append_child("fileobject");
        const auto savedFile = saved.find(&node);
        addText(object, "filename", savedFile != saved.end() ? savedFile->second.path : node.fileName());
        addNumber(object, "filesize", node.fileSize());
        // A start beyond what 64 bits hold (only a hostile scan-info file has
        // one) gets no byte run rather than a wrong one.
        if (node.isReassembled()) {
            // One run per piece, in file order: where it lies in the file and in the image.
            pugi::xml_node runs = object.append_child("byte_runs");
            uint64_t fileOffset = 0;
            for (const ByteRun& piece : node.pieces()) {
                pugi::xml_node run = runs.append_child("byte_run");
                run.append_attribute("offset") = static_cast<unsigned long long>(fileOffset);
                run.append_attribute("file_offset") = static_cast<unsigned long long>(fileOffset);
                run.append_attribute("img_offset") = static_cast<unsigned long long>(piece.offset);
                run.append_attribute("len") = static_cast<unsigned long long>(piece.length);
                fileOffset += piece.length;
            }
        } else if (const auto offset = byteOffsetOf(node, sectorSize)) {
            pugi::xml_node run = object.append_child("byte_runs").append_child("byte_run");
            run.append_attribute("offset") = 0ULL;  // the run's place in the file: it is the whole file
            run.append_attribute("img_offset") = static_cast<unsigned long long>(*offset);
            run.append_attribute("len") = static_cast<unsigned long long>(node.fileSize());
        }
        if (savedFile != saved.end()) {
            pugi::xml_node hash = object.append_child("hashdigest");
            hash.append_attribute("type") = "sha256";
            hash.text().set(toHex(savedFile->second.sha256).c_str());
        }
    }
    for (const auto& child : node.children()) addFileObjects(dfxml, *child, sectorSize, saved);
}

}  // namespace

std::string commandLineOf(int argc, const char* const* argv) {
    std::string line;
    for (int k = 0; k < argc; ++k) {
        std::string argument = argv[k];
        if (argument.empty() || argument.find_first_of(" \t\n'\"\\$`") != std::string::npos) {
            std::string quoted = "'";
            for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            argument = quoted + "'";
        }
        if (k > 0) line += ' ';
        line += argument;
    }
    return line;
}

bool writeDfxml(const std::string& path, const CommandRun& run, const SourceInfo& source, const FoundNode& root,
                const std::map<const FoundNode*, SavedFile>& saved, std::string& error) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node dfxml = document.append_child("dfxml");
    dfxml.append_attribute("version") = "1.0";
    dfxml.append_attribute("xmlns") = kDfxmlNamespace;
    dfxml.append_attribute("xmlns:dc") = kDublinCoreNamespace;
    addText(dfxml.append_child("metadata"), "dc:type", "Carve Report");
    addCreator(dfxml, run);
    pugi::xml_node sourceNode = dfxml.append_child("source");
    addText(sourceNode, "image_filename", source.path);
    addNumber(sourceNode, "sectorsize", source.sectorSize);
    addNumber(sourceNode, "image_size", source.sizeInBytes);
    addFileObjects(dfxml, root, source.sectorSize, saved);
    if (!document.save_file(path.c_str(), "  ", pugi::format_default, pugi::encoding_utf8)) {
        error = "cannot write the DFXML report to " + path;
        return false;
    }
    return true;
}

}  // namespace pelorin::cli
