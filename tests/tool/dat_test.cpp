// DAT files in reader-tool: where a user keeps them, and the dump report's DAT line with the exit
// statuses a script relies on ("is this a good dump?").
#include <gtest/gtest.h>

#include "frontend/tool_os.hpp"
#include "tool/tool_fixture.hpp"
#include "tools/test_images.hpp"

namespace reader::testing {
namespace {

// Each system's rule for its DAT folders, from the environment's values.
TEST(DatFolders, FollowEachSystemsRule) {
    struct Case {
        bool windows;
        const char* first;   // XDG_DATA_HOME, or APPDATA
        const char* second;  // HOME, or the program's folder
        std::vector<fs::path> folders;
    };
    const Case cases[] = {
        {false, "/data", "/home/u", {"/data/reader-tool/dat"}},
        {false, "", "/home/u", {"/home/u/.local/share/reader-tool/dat"}},
        // A relative XDG_DATA_HOME is not taken.
        {false, "data", "/home/u", {"/home/u/.local/share/reader-tool/dat"}},
        {false, "", "", {}},
        {true,
         "C:/Users/u/AppData/Roaming",
         "E:/tools",
         {"C:/Users/u/AppData/Roaming/reader-tool/dat", "E:/tools/dat"}},
        {true, "", "E:/tools", {"E:/tools/dat"}},
    };
    for (const Case& c : cases) {
        const auto folders = c.windows ? tool::WindowsDatFolders(c.first, c.second)
                                       : tool::UnixDatFolders(c.first, c.second);
        EXPECT_EQ(folders, c.folders) << c.first << " " << c.second;
    }
}

// The project's own images and their DAT file, made once for every test.
const std::vector<testimages::TestImage>& ProjectImages() {
    static const auto images = testimages::MakeTestImages(testimages::kDefaultSeed);
    return images;
}

const std::vector<std::uint8_t>& ProjectImage(std::string_view name) {
    const auto& images = ProjectImages();
    return std::find_if(
               images.begin(), images.end(),
               [name](const testimages::TestImage& image) { return image.fileName == name; })
        ->bytes;
}

const std::string& ProjectDat() {
    static const std::string dat =
        testimages::MakeTestImagesDat(ProjectImages(), testimages::kDefaultSeed);
    return dat;
}

void WriteText(const std::string& path, std::string_view text) {
    WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Where the DAT files come from in a case.
enum class Dats : std::uint8_t {
    Given,          // --dat with the project's DAT
    Folder,         // the project's DAT in the default folder
    Other,          // --dat with a DAT that lists another image only
    OtherInFolder,  // that DAT in the default folder
    EmptyFolder,    // a default folder without DAT files
    OtherSha1,      // --dat with the project's DAT, every SHA-1 changed in its first digit
    Listed,         // --dat with a DAT that lists the image itself, as game "Listed"
    Broken,         // --dat with a DAT cut short
    BrokenBeside    // the project's DAT and a DAT cut short, both in the default folder
};

struct CheckCase {
    const char* name;
    const char* image;  // one of the project's images
    Dats dats;
    int status;
    std::string line;  // the DAT line, or the start of the error
    bool copierHeader = false;
};

class DatCheck : public ToolFixture, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(DatCheck, SaysWhatTheDatFilesSayAndFailsOnlyWithDat) {
    const CheckCase& c = GetParam();
    std::vector<std::uint8_t> image = ProjectImage(c.image);
    if (c.copierHeader) {
        image.insert(image.begin(), 512, 0);
    }
    const std::string file = folder.File(c.image);
    WriteBytes(file, image);
    const fs::path defaults = folder.Path() / "default";
    fs::create_directories(defaults);
    os.datFolders = {defaults};
    const std::string given = folder.File("given.dat");
    std::string dat = ProjectDat();
    switch (c.dats) {
        case Dats::Given:
            break;
        case Dats::Folder:
            WriteText((defaults / "project.dat").string(), dat);
            break;
        case Dats::Other:
        case Dats::OtherInFolder:
            dat = testimages::MakeTestImagesDat(
                std::vector<testimages::TestImage>{
                    {"other.sfc", ProjectImage("sfc-lorom.sfc"), "Other"}},
                1);
            if (c.dats == Dats::OtherInFolder) {
                WriteText((defaults / "other.DAT").string(), dat);
            }
            break;
        case Dats::EmptyFolder:
            WriteText((defaults / "readme.txt").string(), dat);
            break;
        case Dats::OtherSha1:
            for (auto at = dat.find("sha1=\""); at != std::string::npos;
                 at = dat.find("sha1=\"", at + 1)) {
                dat[at + 6] = dat[at + 6] == '0' ? '1' : '0';
            }
            break;
        case Dats::Listed:
            dat = testimages::MakeTestImagesDat(
                std::vector<testimages::TestImage>{{c.image, image, "Listed"}}, 1);
            break;
        case Dats::Broken:
            dat.resize(dat.size() / 2);
            break;
        case Dats::BrokenBeside:
            WriteText((defaults / "project.dat").string(), dat);
            WriteText((defaults / "broken.xml").string(), dat.substr(0, dat.size() / 2));
            break;
    }
    std::vector<std::string> args = {"check", file};
    const bool withDat = c.dats == Dats::Given || c.dats == Dats::Other ||
                         c.dats == Dats::OtherSha1 || c.dats == Dats::Listed ||
                         c.dats == Dats::Broken;
    if (withDat) {
        WriteText(given, dat);
        args.insert(args.end(), {"--dat", given});
    }
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.dats == Dats::Broken) {
        // The DAT file's one line, before the image is read.
        EXPECT_EQ(run.err.rfind("reader-tool: " + given + ": " + c.line, 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        return;
    }
    const std::string line =
        c.dats == Dats::EmptyFolder ? c.line + defaults.string() + ", or give --dat\n" : c.line;
    EXPECT_TRUE(run.out.ends_with(line)) << run.out;
    if (c.dats == Dats::BrokenBeside) {
        EXPECT_NE(run.err.find("reader-tool: warning: " + (defaults / "broken.xml").string() +
                               ": the XML ends early"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(run.err.ends_with(" It is left out; the other DAT files are used.\n"));
    }
}

const std::string kVerified6102 = "DAT: verified, Project Test 6102 (World) (Project test images)";

INSTANTIATE_TEST_SUITE_P(
    Images, DatCheck,
    ::testing::Values(
        CheckCase{"Verified", "n64-6102.z64", Dats::Given, 0, kVerified6102 + "\n"},
        CheckCase{"ByteSwapped", "n64-6102.v64", Dats::Given, 0,
                  kVerified6102 + ", matched in its big-endian form (the file is byte-swapped)\n"},
        CheckCase{"LittleEndian", "n64-6102.n64", Dats::Given, 0,
                  kVerified6102 + ", matched in its big-endian form (the file is little-endian)\n"},
        CheckCase{"CopierHeader", "sfc-lorom.sfc", Dats::Given, 0,
                  "DAT: verified, Project Test LoROM (World) (Project test images), matched "
                  "without its 512-byte copier header\n",
                  true},
        CheckCase{"Crc32Only", "n64-6102.z64", Dats::OtherSha1, 1,
                  "DAT: CRC32 matches Project Test 6102 (World) (Project test images) but SHA-1 "
                  "differs: not a verified dump\n"},
        // The broken copy's header check says bad; a DAT that lists it outweighs its header.
        CheckCase{"ListedDespiteItsHeader", "n64-6101-bad-header.z64", Dats::Listed, 0,
                  "DAT: verified, Listed (Project test images)\n"},
        CheckCase{"NotFoundWithDat", "sfc-hirom.sfc", Dats::Other, 1,
                  "DAT: not found in 1 DAT file (1 entry)\n"},
        // The same from the default folder is information only.
        CheckCase{"NotFoundInTheFolder", "sfc-hirom.sfc", Dats::OtherInFolder, 0,
                  "DAT: not found in 1 DAT file (1 entry)\n"},
        CheckCase{"BadHeaderNotFound", "sfc-hirom-bad-body.sfc", Dats::Folder, 1,
                  "DAT: not found in 1 DAT file (9 entries)\n"},
        CheckCase{"VerifiedFromTheFolder", "sfc-hirom.sfc", Dats::Folder, 0,
                  "DAT: verified, Project Test HiROM (World) (Project test images)\n"},
        CheckCase{"NoDatAnywhere", "sfc-hirom.sfc", Dats::EmptyFolder, 0,
                  "DAT: none to verify against: put DAT files in "},
        CheckCase{"BrokenDat", "sfc-hirom.sfc", Dats::Broken, 1, "the XML ends early"},
        CheckCase{"BrokenDatBeside", "n64-6102.z64", Dats::BrokenBeside, 0, kVerified6102 + "\n"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reader::testing
