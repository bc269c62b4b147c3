// Expert Witness and split images and sector ranges, through the command-line
// tool: the same bytes give the same tree and recovered files however they are
// stored, and a damaged or incomplete source says so.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "support/TestSupport.h"
#include "support/TreeBuilder.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

namespace fs = std::filesystem;

bool haveEwfTools() { return shell("command -v ewfacquirestream").status == 0; }

// What a scan gave: the report's nodes and the recovered files by their path
// inside the recovery folder.
struct Scan {
    ShellRun run;
    nlohmann::json report;
    std::map<std::string, Bytes> recovered;
};

Scan scan(const std::string& source, const TempDir& work, const std::string& name, const std::string& options = "") {
    const std::string report = work / (name + ".json");
    const std::string into = work / (name + "-out");
    fs::create_directories(into);
    Scan result;
    result.run = shell(std::string(PELORIN_CLI) + " scan " + quoted(source) + " --no-progress --report " +
                       quoted(report) + " --recover " + quoted(into) + " " + options);
    if (std::ifstream in(report); in) result.report = nlohmann::json::parse(in);
    for (const auto& entry : fs::recursive_directory_iterator(into))
        // The recovered files; not the DFXML report beside them, which names the source and the time.
        if (entry.is_regular_file() && entry.path().filename() != "report.xml") {
            // Below the dated recovery folder, which differs from run to run.
            const fs::path inside = fs::relative(entry.path(), into);
            result.recovered[fs::path(*std::next(inside.begin())).string() + "/" + inside.filename().string()] =
                readBytes(entry.path());
        }
    return result;
}

// The sample image: 4 MiB, twelve files of six kinds, one in its last sectors.
std::string buildSample(const TempDir& work) {
    const std::string path = work / "raw.img";
    tools::buildImage(tools::readLayout(fixturePath("sample-layout.txt")), PELORIN_FIXTURES_DIR, path);
    return path;
}

TEST(CliSources, ExpertWitnessAndSplitImagesGiveTheRawImagesTreeAndBytes) {
    TempDir work;
    const std::string raw = buildSample(work);
    const Scan expected = scan(raw, work, "raw");
    ASSERT_EQ(expected.run.status, 0) << expected.run.output;
    ASSERT_EQ(expected.recovered.size(), 12u);

    const struct {
        const char* label;
        std::string make;   // made from the raw image in the work folder
        std::string first;  // the name given to the scan
        bool needsEwfTools;
    } kinds[] = {
        {"E01 in five segments", "ewfacquirestream -q -t case -c none -S 1MiB < raw.img", "case.E01", true},
        {"numbered pieces", "split -b 1000000 --numeric-suffixes=1 -a 3 raw.img num.", "num.001", false},
        {"lettered pieces", "split -b 300000 raw.img let.", "let.aa", false},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.label);
        if (kind.needsEwfTools && !haveEwfTools()) {
            std::fprintf(stderr, "ewfacquirestream not installed (ewf-tools): %s not checked\n", kind.label);
            continue;
        }
        const ShellRun made = shell("cd " + quoted(work.path()) + " && " + kind.make);
        ASSERT_EQ(made.status, 0) << made.output;
        const Scan got = scan(work / kind.first, work, kind.first);
        ASSERT_EQ(got.run.status, 0) << got.run.output;
        EXPECT_EQ(got.report["nodes"], expected.report["nodes"]);
        EXPECT_EQ(got.report["sectorCount"], expected.report["sectorCount"]);
        EXPECT_EQ(got.report["source"], work / kind.first);  // the name the user gave
        EXPECT_TRUE(got.recovered == expected.recovered);
    }
}

TEST(CliSources, ADamagedExpertWitnessImageIsRefusedWithAClearLine) {
    if (!haveEwfTools()) GTEST_SKIP() << "ewfacquirestream not installed (ewf-tools)";
    TempDir work;
    const std::string raw = buildSample(work);
    ASSERT_EQ(shell("cd " + quoted(work.path()) + " && ewfacquirestream -q -t whole -c none < raw.img").status, 0);
    const Bytes whole = readBytes(work / "whole.E01");
    writeBytes(work / "cut.E01", Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    Bytes garbled(whole.begin(), whole.begin() + 4096);
    std::fill(garbled.begin() + 8, garbled.end(), 0x5A);  // the signature, then nothing an image holds
    writeBytes(work / "garbled.E01", garbled);

    const struct {
        const char* file;
        const char* says;
    } cases[] = {
        {"cut.E01", "cut.E01 is damaged or cut short"},
        {"garbled.E01", "garbled.E01 is not a readable Expert Witness image"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const ShellRun run = shell(std::string(PELORIN_CLI) + " scan " + quoted(work / c.file) + " --no-progress");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Files"), std::string::npos) << run.output;  // nothing scanned
    }
}

// The third of fourteen 300,000-byte pieces gone: its 587 sectors are
// unreadable, never zeros that pass for data, and the rest keep their numbers.
TEST(CliSources, AMissingPieceOfASplitImageIsUnreadableNotZeros) {
    TempDir work;
    const std::string raw = buildSample(work);
    ASSERT_EQ(shell("cd " + quoted(work.path()) + " && split -b 300000 raw.img let. && rm let.ac").status, 0);
    const Scan expected = scan(raw, work, "raw");
    const Scan got = scan(work / "let.aa", work, "let");
    EXPECT_EQ(got.run.status, 0) << got.run.output;
    EXPECT_NE(got.run.output.find("587 sectors could not be read"), std::string::npos) << got.run.output;
    EXPECT_EQ(got.report["unreadableSectors"], 587);
    EXPECT_EQ(got.report["sectorCount"], expected.report["sectorCount"]);
    EXPECT_EQ(got.report["nodes"], expected.report["nodes"]);  // nothing of the sample sits in the gap
}

// A range finds what the whole scan finds there, at the same sector numbers.
TEST(CliSources, ASectorRangeFindsTheWholeScansFilesInIt) {
    TempDir work;
    const std::string raw = buildSample(work);
    const Scan whole = scan(raw, work, "whole");
    ASSERT_EQ(whole.run.status, 0) << whole.run.output;
    auto filesIn = [](const nlohmann::json& report, uint64_t first, uint64_t last) {
        std::multiset<std::pair<uint64_t, uint64_t>> files;  // sector and size
        for (const auto& node : report["nodes"])
            if (node["fileType"] != report["nodes"][0]["fileType"] && node["sectorNumber"] >= first &&
                node["sectorNumber"] <= last)
                files.emplace(node["sectorNumber"], node["fileSize"]);
        return files;
    };
    const struct {
        uint64_t first, last;
        std::size_t files;
    } ranges[] = {{0, 0, 0}, {0, 64, 1}, {2000, 4200, 3}, {8190, 8191, 1}, {8191, 8191, 0}};
    for (const auto& r : ranges) {
        SCOPED_TRACE(r.first);
        const std::string name = "range" + std::to_string(r.first) + "-" + std::to_string(r.last);
        const Scan got = scan(raw, work, name,
                              "--first-sector " + std::to_string(r.first) + " --last-sector " + std::to_string(r.last));
        ASSERT_EQ(got.run.status, 0) << got.run.output;
        EXPECT_NE(got.run.output.find("number of the sectors is " + std::to_string(r.last) + "\n"), std::string::npos)
            << got.run.output;
        EXPECT_EQ(got.report["sectorCount"], 8192);
        EXPECT_EQ(filesIn(got.report, 0, UINT64_MAX), filesIn(whole.report, r.first, r.last));
        EXPECT_EQ(got.recovered.size(), r.files);
    }

    const struct {
        std::string options;
        const char* says;
    } refused[] = {
        {"--last-sector 8192", "--last-sector 8192 is past the end"},
        {"--first-sector 10 --last-sector 5", "--first-sector 10 is after the last sector to scan (5)"},
    };
    for (const auto& r : refused) {
        const ShellRun run = shell(std::string(PELORIN_CLI) + " scan " + quoted(raw) + " --no-progress " + r.options);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(r.says), std::string::npos) << run.output;
    }
}

}  // namespace
}  // namespace pelorin::test
