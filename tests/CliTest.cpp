// The command-line tool as a user meets it: its errors, its report, its types.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <regex>

#include "cli/CliController.h"
#include "cli/DfxmlReport.h"
#include "cli/Report.h"
#include "recognisers/Registry.h"
#include "scaninfo/ScanInfoFile.h"
#include "support/TestSupport.h"
#include "support/TreeBuilder.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

using CliRun = ShellRun;

CliRun runCli(const std::string& arguments, const std::string& prefix = "") {
    return shell(prefix + std::string(PELORIN_CLI) + " " + arguments);
}

TEST(Cli, BadInputGetsOneClearLineAndAFailureStatus) {
    TempImage empty;
    TempImage image(8192);
    const auto dir = std::filesystem::temp_directory_path();
    struct Case {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"scan /nonexistent/card.img", "cannot open /nonexistent/card.img: No such file or directory"},
        {"scan " + quoted(dir.string()), "is a directory"},
        {"scan " + quoted(empty.path()), "is empty"},
        {"scan " + quoted(image.path()) + " --types jpg,jxl", "unknown file type 'jxl'"},
        {"scan " + quoted(image.path()) + " --sector-size 1000", "bad sector size 1000"},
        {"scan " + quoted(image.path()) + " --sector-size 0", "bad sector size 0"},
        {"scan /dev/null", "neither a disk image nor a block device"},
    };
    for (const Case& c : cases) {
        CliRun run = runCli(c.arguments);
        EXPECT_NE(run.status, 0) << c.arguments;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
}

// Options the tool does not understand: CLI11's words, the usage line of the command, status 2.
TEST(Cli, UsageErrorsExitWithStatus2AndTheUsageLine) {
    TempImage image(8192);
    const std::pair<std::string, std::string> cases[] = {
        {"scan " + quoted(image.path()) + " --bogus", "Usage: pelorin-cli scan [OPTIONS] source"},
        {"scan " + quoted(image.path()) + " --sector-size abc", "Usage: pelorin-cli scan [OPTIONS] source"},
        {"scan " + quoted(image.path()) + " --types", "Usage: pelorin-cli scan [OPTIONS] source"},
        {"open", "Usage: pelorin-cli open [OPTIONS] file"},
        {"", "Usage: pelorin-cli [OPTIONS] SUBCOMMAND"},
    };
    for (const auto& [arguments, usage] : cases) {
        CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments << "\n" << run.output;
        EXPECT_NE(run.output.find("Run with --help for more information.\n" + usage + "\n"), std::string::npos)
            << arguments << "\n" << run.output;
    }
    EXPECT_EQ(runCli("scan --help").status, 0);
    // The version needs no command, as the manual page says.
    const CliRun version = runCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("pelorin-cli ", 0), 0u) << version.output;
}

TEST(Cli, PermissionProblemsMentionRawDeviceAccess) {
    TempImage image(8192);
    std::filesystem::permissions(image.path(), std::filesystem::perms::none);
    std::string asUser;
    if (::geteuid() == 0) {
        // Root opens anything: run the tool as nobody instead.
        if (std::system("setpriv --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv to drop root";
        asUser = "--reuid=65534 --regid=65534 --clear-groups ";
    }
    CliRun run = asUser.empty() ? runCli("scan " + quoted(image.path()))
                                : runCli("scan " + quoted(image.path()), "setpriv " + asUser);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("disk' group"), std::string::npos) << run.output;
}

TEST(Cli, ReportListsEveryNodeOfTheTree) {
    Bytes jpeg = fixture("jpeg/baseline.jpg");
    TempImage image(64 * 1024);
    image.write(512 * 5, jpeg);
    image.write(512 * 9, jpeg);
    TempImage report;
    // The sector size and type names are taken case-insensitively and as labels.
    CliRun run = runCli("scan " + quoted(image.path()) + " --types JPG --sector-size 512 --no-progress --report " +
                     quoted(report.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    // The scan's end is marked first, with the last sector it reached.
    EXPECT_EQ(run.output.rfind("\n\n\nnumber of the sectors is 127\n" + image.path() + ": 128 sectors", 0), 0u)
        << run.output;
    EXPECT_NE(run.output.find("JPG Files"), std::string::npos);

    std::ifstream in(report.path());
    auto json = nlohmann::json::parse(in);
    EXPECT_EQ(json["version"], 1);
    EXPECT_EQ(json["source"], image.path());
    EXPECT_EQ(json["sectorSize"], 512);
    EXPECT_EQ(json["sectorCount"], 128);
    const auto& nodes = json["nodes"];
    ASSERT_EQ(nodes.size(), 4u);  // root, folder, two files
    EXPECT_EQ(nodes[0]["fileName"], "ROOT");
    EXPECT_EQ(nodes[1]["fileName"], "JPG Files");
    EXPECT_EQ(nodes[2]["fileName"], "file1.jpg");
    EXPECT_EQ(nodes[2]["pathName"], "JPG Files/ROOT");
    EXPECT_EQ(nodes[2]["sectorNumber"], 5);
    EXPECT_EQ(nodes[2]["fileSize"], jpeg.size() + 512);
    EXPECT_EQ(nodes[3]["sectorNumber"], 9);
    EXPECT_EQ(nodes[3]["parentID"], nodes[1]["fileID"]);
    for (const auto& node : nodes)
        for (const char* key : {"fileID", "parentID", "fileType", "fileName", "pathName", "sectorNumber",
                                "extraBytesToMove", "fileSize"})
            EXPECT_TRUE(node.contains(key)) << key;
}

// An image that ends inside a file (here an AVI whose header says 17 KB) is
// scanned to its end: no alert, status 0, and every file inside the image.
TEST(Cli, AnImageThatEndsInsideAFileIsScannedToItsEnd) {
    const Bytes avi = fixture("avi/tiny.avi");
    TempImage image;
    image.write(4 * 512, Bytes(avi.begin(), avi.begin() + 6000));
    TempImage report;
    CliRun run = runCli("scan " + quoted(image.path()) + " --no-progress --report " + quoted(report.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("Drive cannot open"), std::string::npos) << run.output;
    std::ifstream in(report.path());
    const auto nodes = nlohmann::json::parse(in)["nodes"];
    ASSERT_EQ(nodes.size(), 3u);  // root, folder, the AVI
    EXPECT_EQ(nodes[2]["sectorNumber"], 4);
    EXPECT_EQ(nodes[2]["fileSize"], 6000);
    EXPECT_EQ(nodes[0]["fileSize"], 6000);
}

// A failing device: how many sectors could not be read is said on standard
// error and in the report, and neither says anything when all could be read.
TEST(Cli, UnreadableSectorsAreCountedOnStandardErrorAndInTheReport) {
    for (uint64_t unreadable : {0u, 1u, 3u}) {
        SCOPED_TRACE(unreadable);
        ScanContext ctx;
        cli::CliController controller(ctx, {}, false);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        controller.finished({ScanOutcome::Completed, 99, unreadable});
        testing::internal::GetCapturedStdout();
        const std::string said = testing::internal::GetCapturedStderr();
        const char* expected[] = {"", "1 sector could not be read and was scanned as zeros\n",
                                  "", "3 sectors could not be read and were scanned as zeros\n"};
        EXPECT_EQ(said, expected[unreadable]);
        EXPECT_EQ(controller.unreadableSectors(), unreadable);

        TempImage report;
        FoundNode root;
        std::string error;
        ASSERT_TRUE(cli::writeReport(report.path(), cli::SourceInfo{}, root, false, error, controller.unreadableSectors()));
        std::ifstream in(report.path());
        const auto json = nlohmann::json::parse(in);
        EXPECT_EQ(json.contains("unreadableSectors"), unreadable != 0);
        if (unreadable != 0) {
            EXPECT_EQ(json["unreadableSectors"], unreadable);
        }
    }
}

TEST(Cli, TypesListsEveryTypeWithWhatCanBeScanned) {
    CliRun run = runCli("types");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), int(kFileTypeCount) + 1);
    EXPECT_NE(run.output.find("jpg   JPG"), std::string::npos);
    EXPECT_NE(run.output.find("lei   LEICA"), std::string::npos);
    EXPECT_NE(run.output.find("cr3   CR3        CANON"), std::string::npos);
    auto count = [&](std::string_view word) {
        int found = 0;
        for (std::size_t at = run.output.find(word); at != std::string::npos; at = run.output.find(word, at + 1))
            ++found;
        return found;
    };
    EXPECT_EQ(count(" available"), int(availableTypes().count()));
    EXPECT_EQ(count(" not yet"), int(kFileTypeCount - availableTypes().count()));
}

// 256 KiB of random bytes with two JPEGs at the 4096-byte sectors 3 and 20.
void buildTwoJpegImage(const std::string& path) {
    const tools::ImageLayout layout{.size = 256 * 1024, .sectorSize = 4096,
                                    .fills = {{.offset = 0, .length = 256 * 1024, .kind = "random", .seed = 5}},
                                    .placements = {{3, "jpeg/baseline.jpg"}, {20, "jpeg/exif.jpg"}}};
    tools::buildImage(layout, PELORIN_FIXTURES_DIR, path);
}

// After the scan the pass that puts split files back together runs and says so on standard
// error, even when it found none; --no-reassembly skips it and says nothing. On an image
// without split files the listing and the report are the same either way.
TEST(Cli, TheReassemblyPassReportsItsCountUnlessTurnedOff) {
    TempImage image;
    buildTwoJpegImage(image.path());
    TempDir work;
    struct Output {
        int status;
        std::string out, err, report;
    };
    auto scan = [&](const std::string& name, const std::string& option) {
        const CliRun run = shell("(" + std::string(PELORIN_CLI) + " scan " + quoted(image.path()) +
                                 " --types jpg --sector-size 4096 --no-progress --files --report " +
                                 quoted(work / (name + ".json")) + option + " 2>" + quoted(work / name) + ")");
        const Bytes err = readBytes(work / name), report = readBytes(work / (name + ".json"));
        return Output{run.status, run.output, std::string(err.begin(), err.end()),
                      std::string(report.begin(), report.end())};
    };
    const Output on = scan("on", ""), off = scan("off", " --no-reassembly");
    EXPECT_EQ(std::tuple(on.status, off.status), std::tuple(0, 0));
    EXPECT_TRUE(std::regex_match(on.err, std::regex("Reassembled 0 split files in [0-9]+\\.[0-9]{2} s\n"))) << on.err;
    EXPECT_EQ(off.err, "");
    EXPECT_EQ(on.out, off.out);
    EXPECT_NE(off.out.find("file2.jpg"), std::string::npos) << off.out;
    EXPECT_EQ(on.report, off.report);
}

TEST(Cli, ASectorSizeOf4096NumbersFilesIn4096ByteSectors) {
    TempImage image, report;
    buildTwoJpegImage(image.path());
    CliRun run = runCli("scan " + quoted(image.path()) + " --types jpg --sector-size 4096 --no-progress --report " +
                        quoted(report.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    std::ifstream in(report.path());
    const auto json = nlohmann::json::parse(in);
    EXPECT_EQ(json["sectorSize"], 4096);
    EXPECT_EQ(json["sectorCount"], 64);
    std::vector<uint64_t> sectors;
    for (const auto& node : json["nodes"])
        if (node["fileName"].get<std::string>().ends_with(".jpg")) sectors.push_back(node["sectorNumber"]);
    EXPECT_EQ(sectors, (std::vector<uint64_t>{3, 20}));
}

// A scan-info file opened against a source: recovery with one file that cannot be read
// fails and says so; a source of another size is refused before anything is read.
TEST(Cli, OpeningAScanInfoFileChecksTheSourceAndReportsFilesThatCouldNotBeSaved) {
    TempImage image, otherImage(128 * 1024);
    buildTwoJpegImage(image.path());
    TempDir work;
    CliRun scan = runCli("scan " + quoted(image.path()) + " --types jpg --no-progress --save-info " +
                         quoted(work / "scan.rvx"));
    ASSERT_EQ(scan.status, 0) << scan.output;
    // A copy whose second file lies at a sector no read can reach (its byte offset is 2^63).
    Bytes info = readBytes(work / "scan.rvx");
    const std::string names = "file2.jpgJPG Files/ROOT";
    const auto name = std::search(info.begin(), info.end(), names.begin(), names.end());
    ASSERT_NE(name, info.end());
    std::fill_n(name - kNodeRecordSize + 24, 8, 0);
    *(name - kNodeRecordSize + 25) = 0x40;
    writeBytes(work / "unreadable.rvx", info);

    const struct {
        const char* file;
        std::string arguments;
        int status;
        const char* message;
    } cases[] = {
        {"scan.rvx", " --source " + quoted(image.path()) + " --recover " + quoted(work / "all"), 0, "Recovered 2 files"},
        {"unreadable.rvx", " --source " + quoted(image.path()) + " --recover " + quoted(work / "one"), 1,
         "1 file could not be saved."},
        {"scan.rvx", " --source " + quoted(otherImage.path()), 1, "does not match the scan info file"},
    };
    for (const auto& c : cases) {
        CliRun run = runCli("open " + quoted(work / c.file) + c.arguments + " --no-progress");
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    }
}

// A folder given to --save-info gets the file under the name a save panel offers.
TEST(Cli, SaveInfoIntoAFolderUsesTheDefaultName) {
    TempImage image;
    buildTwoJpegImage(image.path());
    TempDir work;
    CliRun scan = runCli("scan " + quoted(image.path()) + " --types jpg --no-progress --save-info " + quoted(work.path() + "/"));
    ASSERT_EQ(scan.status, 0) << scan.output;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work.path())) names.push_back(entry.path().filename());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with("Pelorin Scan Info ") && names[0].ends_with(".rvx")) << names[0];
    CliRun open = runCli("open " + quoted(work / names[0]) + " --source " + quoted(image.path()));
    EXPECT_EQ(open.status, 0) << open.output;
}

// Header fields that disagree with the nodes or the source: the ticks are counted from the
// nodes, more sectors than the source has is refused, a file running past the source's end
// is cut there, and a missing file cannot be opened.
TEST(Cli, OpeningAHostileScanInfoFileTrustsTheNodesAndTheSource) {
    TempImage image;
    buildTwoJpegImage(image.path());
    TempDir work;
    CliRun scan = runCli("scan " + quoted(image.path()) + " --types jpg --no-progress --save-info " +
                         quoted(work / "scan.rvx"));
    ASSERT_EQ(scan.status, 0) << scan.output;
    const Bytes good = readBytes(work / "scan.rvx");
    const std::string names = "file2.jpgJPG Files/ROOT";
    const std::size_t secondFile = std::search(good.begin(), good.end(), names.begin(), names.end()) - good.begin() - kNodeRecordSize;
    auto changed = [&](const std::string& name, std::size_t offset, uint64_t value, int width) {
        Bytes bytes = good;
        for (int i = width - 1; i >= 0; --i, value >>= 8) bytes.at(offset + std::size_t(i)) = uint8_t(value);
        writeBytes(work / name, bytes);
        return quoted(work / name);
    };
    const std::string source = " --source " + quoted(image.path());
    // The second file runs 16 MiB past the end of the 256 KiB image: it is cut to the image's last byte.
    const std::string runsPast = changed("past.rvx", secondFile + 8, 16 << 20, 8);
    const struct {
        std::string arguments;
        int status;
        std::vector<std::string> shown;
    } cases[] = {
        {changed("noticks.rvx", 12, 0, 4) + source + " --recover " + quoted(work / "a"), 0,
         {"Ticked: 2 files", "Recovered 2 files"}},
        {changed("sectors.rvx", 40, ~0ULL, 8) + source, 1, {"This scan info file is incomplete."}},
        {runsPast + source + " --recover " + quoted(work / "b"), 0,
         {"JPG Files                     2 files    176.95 KB", "Ticked: 2 files, 176.95 KB", "Recovered 2 files"}},
        {quoted(work / "missing.rvx"), 1, {"This scan info file cannot be opened."}},
    };
    for (const auto& c : cases) {
        CliRun run = runCli("open " + c.arguments + " --no-progress");
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        for (const std::string& text : c.shown)
            EXPECT_NE(run.output.find(text), std::string::npos) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.find("nothing to recover"), std::string::npos) << run.output;
    }
    // The cut file holds the image from its start to its end.
    const Bytes whole = readBytes(image.path());
    const auto recovered = std::filesystem::directory_iterator(work / "b")->path();
    EXPECT_EQ(readBytes(recovered / "ROOT/JPG Files/file2.jpg"), Bytes(whole.begin() + 20 * 4096, whole.end()));
}

// A fileobject of a DFXML report, read back by its element names.
struct FileObject {
    std::string filename;
    uint64_t filesize = 0;
    std::optional<uint64_t> imageOffset, length;  // of its one byte run
    std::string sha256;
    bool operator==(const FileObject&) const = default;
};
std::ostream& operator<<(std::ostream& out, const FileObject& file) {
    return out << file.filename << " " << file.filesize << " @" << file.imageOffset.value_or(~0ULL) << " "
               << file.sha256;
}

// The report's source and its file objects; fails the test when it is not the DFXML it should be.
struct Dfxml {
    pugi::xml_document document;
    std::vector<FileObject> files;
    pugi::xml_node source() const { return document.child("dfxml").child("source"); }
};
std::unique_ptr<Dfxml> readDfxml(const std::filesystem::path& path) {
    auto report = std::make_unique<Dfxml>();
    const pugi::xml_parse_result parsed = report->document.load_file(path.c_str());
    EXPECT_TRUE(parsed) << path << ": " << parsed.description();
    const pugi::xml_node dfxml = report->document.child("dfxml");
    EXPECT_STREQ(dfxml.attribute("version").value(), "1.0");
    EXPECT_STREQ(dfxml.attribute("xmlns").value(), "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML");
    EXPECT_STREQ(dfxml.attribute("xmlns:dc").value(), "http://purl.org/dc/elements/1.1/");
    EXPECT_STREQ(dfxml.child("creator").child_value("program"), "Pelorin");
    EXPECT_STRNE(dfxml.child("creator").child("build_environment").child_value("compiler"), "");
    EXPECT_STRNE(dfxml.child("creator").child("execution_environment").child_value("start_time"), "");
    for (pugi::xml_node object : dfxml.children("fileobject")) {
        FileObject file;
        file.filename = object.child_value("filename");
        file.filesize = object.child("filesize").text().as_ullong();
        const auto runs = object.child("byte_runs").children("byte_run");
        EXPECT_LE(std::distance(runs.begin(), runs.end()), 1) << file.filename;
        if (pugi::xml_node run = object.child("byte_runs").child("byte_run")) {
            EXPECT_EQ(run.attribute("offset").as_ullong(~0ULL), 0u);
            file.imageOffset = run.attribute("img_offset").as_ullong();
            file.length = run.attribute("len").as_ullong();
        }
        if (pugi::xml_node hash = object.find_child_by_attribute("hashdigest", "type", "sha256"))
            file.sha256 = hash.text().get();
        report->files.push_back(file);
    }
    return report;
}

// Names and places from the tree, digests from the saved map; files beyond what 64 bits
// can place get no byte run, and a file that was not recovered keeps its name in the tree.
TEST(Dfxml, OneFileObjectPerFoundFileWithItsPlaceInTheSource) {
    TreeBuilder tree;
    FoundNode* jpg = tree.folder("JPG Files", ".jpg");
    const FoundNode* saved = tree.file(jpg, 1000, 5);
    tree.file(jpg, 300, 1ULL << 62);  // from a hostile scan-info file
    tree.preview(tree.folder("RAW Jpg Files", ""), 200, 7, 100);
    Sha256Digest digest{};
    digest[0] = 0xab;
    cli::SourceInfo source{.path = "/images/card <1>.img", .sizeInBytes = 1 << 20, .sectorSize = 2048};
    TempDir work;
    std::string error;
    const cli::CommandRun run{"9.9", "pelorin-cli scan 'card <1>.img' --dfxml r.xml", 0};
    ASSERT_TRUE(cli::writeDfxml(work / "r.xml", run, source, *tree.root(),
                                {{saved, SavedFile{"ROOT/JPG Files/file1.jpg", digest}}}, error)) << error;
    const auto report = readDfxml(work / "r.xml");
    EXPECT_EQ(report->files, (std::vector<FileObject>{
        {"ROOT/JPG Files/file1.jpg", 1000, 5 * 2048, 1000, "ab" + std::string(62, '0')},
        {"file2.jpg", 300, std::nullopt, std::nullopt, ""},
        {"file - Raw Jpg1.jpg", 200, 7 * 2048 + 100, 200, ""},
    }));
    const pugi::xml_node dfxml = report->document.child("dfxml");
    EXPECT_STREQ(dfxml.child("creator").child_value("version"), "9.9");
    EXPECT_STREQ(dfxml.child("creator").child("execution_environment").child_value("command_line"), run.commandLine.c_str());
    EXPECT_STREQ(dfxml.child("creator").child("execution_environment").child_value("start_time"), "1970-01-01T00:00:00Z");
    EXPECT_STREQ(report->source().child_value("image_filename"), source.path.c_str());
    EXPECT_EQ(report->source().child("sectorsize").text().as_uint(), 2048u);
    EXPECT_EQ(report->source().child("image_size").text().as_ullong(), 1u << 20);
    EXPECT_FALSE(cli::writeDfxml(work / "no/such/folder/r.xml", run, source, *tree.root(), {}, error));
    const char* arguments[] = {"pelorin-cli", "scan", "my card.img", "it's", ""};
    EXPECT_EQ(cli::commandLineOf(5, arguments), R"(pelorin-cli scan 'my card.img' 'it'\''s' '')");
}

// A file put back together lists its pieces in file order, in the JSON report and as one DFXML
// byte run each (its place in the file and in the image); nothing else in the JSON report
// changes, and a file found whole keeps its one run as before.
TEST(Reports, AFileInPiecesListsEachPieceAndNothingElseChanges) {
    TreeBuilder tree;
    FoundNode* jpg = tree.folder("JPG Files", ".jpg");
    FoundNode* split = tree.file(jpg, 70000, 10);
    tree.file(jpg, 3000, 200);
    const std::vector<ByteRun> pieces = {{10 * 512, 32768}, {900 * 512 + 17, 30000}, {300 * 512, 7232}};
    cli::SourceInfo source{.path = "card.img", .sizeInBytes = 1 << 20, .sectorSize = 512};
    const cli::CommandRun run{"9.9", "pelorin-cli scan card.img", 0};
    TempDir work;
    std::string error;
    auto writeBoth = [&](const std::string& name) {
        ASSERT_TRUE(cli::writeReport(work / (name + ".json"), source, *tree.root(), false, error)) << error;
        ASSERT_TRUE(cli::writeDfxml(work / (name + ".xml"), run, source, *tree.root(), {}, error)) << error;
    };
    writeBoth("whole");
    split->setPieces(pieces);
    writeBoth("pieces");

    std::ifstream wholeIn(work / "whole.json"), piecesIn(work / "pieces.json");
    const auto whole = nlohmann::ordered_json::parse(wholeIn);
    auto withPieces = nlohmann::ordered_json::parse(piecesIn);
    auto& node = withPieces["nodes"][2];
    ASSERT_EQ(node["fileName"], "file1.jpg");
    EXPECT_EQ(node["pieces"], nlohmann::ordered_json::parse(R"([{"offset":5120,"length":32768},)"
                                                             R"({"offset":460817,"length":30000},)"
                                                             R"({"offset":153600,"length":7232}])"));
    node.erase("pieces");
    EXPECT_EQ(withPieces, whole);

    pugi::xml_document dfxml;
    ASSERT_TRUE(dfxml.load_file((work / "pieces.xml").c_str()));
    // Per file: each run's offset in the file (as "offset" and as DFXML's "file_offset"), in the image, and length.
    std::vector<std::vector<uint64_t>> runs;
    for (pugi::xml_node object : dfxml.child("dfxml").children("fileobject")) {
        runs.emplace_back();
        for (pugi::xml_node byteRun : object.child("byte_runs").children("byte_run"))
            for (const char* name : {"offset", "file_offset", "img_offset", "len"})
                runs.back().push_back(byteRun.attribute(name).as_ullong(~0ULL));
    }
    const uint64_t none = ~0ULL;  // the run of a whole file is written as before, without file_offset
    EXPECT_EQ(runs, (std::vector<std::vector<uint64_t>>{
                        {0, 0, 5120, 32768, 32768, 32768, 460817, 30000, 62768, 62768, 153600, 7232},
                        {0, none, 200 * 512, 3000}}));
}

// A scan that recovers: --dfxml, the recovery folder's report.xml and the JSON report all
// describe the tree, and their digests are those of the recovered files.
TEST(Cli, ReportsAfterARecoveryCarryTheOffsetsAndDigestsOfTheRecoveredFiles) {
    TempImage image;
    buildTwoJpegImage(image.path());
    TempDir work;
    CliRun run = runCli("scan " + quoted(image.path()) + " --types jpg --sector-size 4096 --no-progress --recover " +
                        quoted(work / "out") + " --dfxml " + quoted(work / "r.xml") + " --report " +
                        quoted(work / "r.json"));
    ASSERT_EQ(run.status, 0) << run.output;
    const auto folder = std::filesystem::directory_iterator(work / "out")->path();
    std::ifstream in(work / "r.json");
    const auto json = nlohmann::json::parse(in);
    std::vector<FileObject> expected;
    for (const auto& node : json["nodes"]) {
        if (node["fileType"] != FoundNode::kFoundFile) {
            EXPECT_FALSE(node.contains("byteOffset") || node.contains("sha256")) << node["fileName"];
            continue;
        }
        const std::string path = "ROOT/JPG Files/" + node["fileName"].get<std::string>();
        const uint64_t offset = node["sectorNumber"].get<uint64_t>() * 4096 + node["extraBytesToMove"].get<uint64_t>();
        EXPECT_EQ(node["byteOffset"], offset);
        EXPECT_EQ(node["sha256"], sha256Hex(readBytes(folder / path)));
        expected.push_back({path, node["fileSize"], offset, node["fileSize"], sha256Hex(readBytes(folder / path))});
    }
    ASSERT_EQ(expected.size(), 2u);
    for (const std::filesystem::path& report : {std::filesystem::path(work / "r.xml"), folder / "report.xml"}) {
        const auto dfxml = readDfxml(report);
        EXPECT_EQ(dfxml->files, expected) << report;
        EXPECT_STREQ(dfxml->source().child_value("image_filename"), image.path().c_str());
        EXPECT_EQ(dfxml->source().child("sectorsize").text().as_uint(), 4096u);
        EXPECT_EQ(dfxml->source().child("image_size").text().as_ullong(), 256u * 1024);
    }
}

// open --dfxml without recovering: the tree's names and places, and no digests.
TEST(Cli, OpenWritesTheDfxmlReportOfTheScanInfoFile) {
    TempImage image;
    buildTwoJpegImage(image.path());
    TempDir work;
    CliRun scan = runCli("scan " + quoted(image.path()) + " --types jpg --sector-size 4096 --no-progress --save-info " +
                         quoted(work / "scan.rvx"));
    ASSERT_EQ(scan.status, 0) << scan.output;
    CliRun open = runCli("open " + quoted(work / "scan.rvx") + " --source " + quoted(image.path()) + " --dfxml " +
                         quoted(work / "r.xml"));
    ASSERT_EQ(open.status, 0) << open.output;
    const auto dfxml = readDfxml(work / "r.xml");
    ASSERT_EQ(dfxml->files.size(), 2u);
    EXPECT_EQ(dfxml->files[0].filename, "file1.jpg");
    EXPECT_EQ(dfxml->files[0].imageOffset, 3u * 4096);
    EXPECT_EQ(dfxml->files[1].imageOffset, 20u * 4096);
    EXPECT_EQ(dfxml->files[1].sha256, "");
    EXPECT_EQ(dfxml->source().child("sectorsize").text().as_uint(), 4096u);
}

}  // namespace
}  // namespace pelorin::test
