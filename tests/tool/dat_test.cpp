// DAT files in reader-tool: where a user keeps them, the dump report's DAT line with the exit
// statuses a script relies on ("is this a good dump?"), and the names of dumps into a folder.
#include <gtest/gtest.h>

#include "frontend/output_name.hpp"
#include "frontend/rom/hashes.hpp"
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

// Names that Windows and Linux both take, from the names in DAT files and header titles.
TEST(StemFrom, KeepsWhatBothSystemsTakeAndReplacesTheRest) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"Project Test 6102 (World)", "Project Test 6102 (World)"},
        {"A: B / C\\D <E> \"F\" G|H? I*", "A_ B _ C_D _E_ _F_ G_H_ I_"},
        {"  many \t blanks\x01here  ", "many blanks_here"},
        {"Pok\xC3\xA9mon Stra\xC3\x9F\xC3\x86 \xC3\x97 \xC3\xB7", "Pokemon StrassAE x _"},
        {"\xE3\x83\x9D\xE3\x82\xB1 64 \xFF", "__ 64 _"},
        {"...hidden. end. . ", "hidden. end"},
        {"CON", "CON_"},
        {"nul.game", "nul_.game"},
        {"Com1 ", "Com1_"},
        {"CONSOLE", "CONSOLE"},
        {"   ", ""},
        {". _ - .", ""},
        {std::string_view("\0\0\0", 3), ""},
    };
    for (const auto& [text, stem] : cases) {
        EXPECT_EQ(tool::StemFrom(text), stem) << text;
    }
    EXPECT_EQ(tool::StemFrom(std::string(300, 'a') + " b"), std::string(tool::kLongestStem, 'a'));
}

// dump DIR: the file takes its name once the dump is read and looked up.
struct FolderCase {
    const char* name;
    std::string_view identity;
    const char* image;  // one of the project's images served, or nothing: the test cartridge
    std::vector<std::string> args;
    std::string file;  // the name the dump gets; "%CRC%" stands for the file's CRC32
    std::string said;  // what the dump says, "%CRC%" likewise
    int status = 0;
    bool blankTitle = false;
    bool taken = false;  // a file of that name is there already
};

class DumpIntoFolder : public ToolFixture, public ::testing::WithParamInterface<FolderCase> {};

std::string WithCrc(std::string text, const fs::path& file) {
    const auto at = text.find("%CRC%");
    return at == std::string::npos
               ? text
               : text.replace(at, 5,
                              platform::FormatText("%08X", rom::Crc32(ReadBytes(file.string()))));
}

TEST_P(DumpIntoFolder, NamesTheFileAfterTheGameAndKeepsWhatIsThere) {
    const FolderCase& c = GetParam();
    emulator::ReaderConfig config;
    config.fixedIdentity = std::string(c.identity);
    if (c.image != nullptr) {
        config.cartridgeImage = ProjectImage(c.image);
        if (c.blankTitle) {
            std::fill_n(config.cartridgeImage.begin() + rom::kN64TitleOffset, rom::kN64TitleSize,
                        ' ');
        }
    }
    host_.AttachReader('E', std::move(config));
    const fs::path dumps = folder.Path() / "dumps";
    fs::create_directories(dumps);
    WriteText(folder.File("project.dat"), ProjectDat());
    WriteText(folder.File("broken.dat"), ProjectDat().substr(0, 100));
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    if (c.taken) {
        WriteBytes((dumps / c.file).string(), old);
    }
    std::vector<std::string> args = {"dump", dumps.string(), "--quiet"};
    for (const std::string& arg : c.args) {
        args.push_back(arg.ends_with(".dat") ? folder.File(arg) : arg);
    }
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.file.empty()) {
        // A broken --dat stops the dump before anything is sent to the reader.
        EXPECT_EQ(CommandWrites(), 0u);
        EXPECT_TRUE(fs::is_empty(dumps));
        return;
    }
    // The one new file, under the name expected.
    std::vector<fs::path> added;
    for (const auto& entry : fs::directory_iterator(dumps)) {
        if (!c.taken || entry.path().filename() != c.file) {
            added.push_back(entry.path());
        }
    }
    ASSERT_EQ(added.size(), 1u) << run.out;
    const fs::path& written = added.front();
    const fs::path named(WithCrc(c.file, written));
    EXPECT_EQ(
        written.filename().string(),
        c.taken ? named.stem().string() + " (1)" + named.extension().string() : named.string());
    EXPECT_NE(run.out.find(WithCrc(c.said, written)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nwrote " + written.string() + ": "), std::string::npos) << run.out;
    if (c.taken) {
        EXPECT_EQ(ReadBytes((dumps / c.file).string()), old);
        // With --force the file of that name is replaced.
        args.push_back("--force");
        ASSERT_EQ(Run(args).status, c.status);
        EXPECT_EQ(ReadBytes((dumps / c.file).string()), ReadBytes(written.string()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, DumpIntoFolder,
    ::testing::Values(
        FolderCase{"FromTheDat",
                   emulator::kN64CartIdentity,
                   "n64-6101.z64",
                   {"--dat", "project.dat"},
                   "Project Test 6101 (World).z64",
                   "named after its DAT entry: Project Test 6101 (World).z64\n"},
        FolderCase{"FromTheHeader",
                   emulator::kN64CartIdentity,
                   "n64-6101.z64",
                   {},
                   "PROJECT TEST 6101 (NPTE).z64",
                   "named after the header's title and game code: PROJECT TEST 6101 (NPTE).z64\n"},
        FolderCase{"ByteSwapped",
                   emulator::kN64CartIdentity,
                   "n64-6101.z64",
                   {"--byte-order", "v64"},
                   "PROJECT TEST 6101 (NPTE).v64",
                   ".v64\n"},
        // Not in the DAT given: named from the header, kept, and the dump fails.
        FolderCase{"NotVerified",
                   emulator::kN64CartIdentity,
                   "n64-6101-bad-header.z64",
                   {"--dat", "project.dat"},
                   "PROJECT TEST 6101 (NPTE).z64",
                   "DAT: not found in 1 DAT file (9 entries)\n",
                   tool::kExitFailure},
        FolderCase{"BlankTitle",
                   emulator::kN64CartIdentity,
                   "n64-6101.z64",
                   {},
                   "n64-%CRC%.z64",
                   "named after its CRC32 (the header gives no title): n64-%CRC%.z64\n",
                   0,
                   true},
        FolderCase{"SfcTaken",
                   emulator::kSfcIdentity,
                   "sfc-lorom.sfc",
                   {},
                   "PROJECT LOROM TEST.sfc",
                   "that name is taken, so the dump is written as PROJECT LOROM TEST (1).sfc "
                   "(--force replaces the file of that name)\n",
                   0,
                   false,
                   true},
        FolderCase{"NoHeader",
                   emulator::kPceIdentity,
                   nullptr,
                   {"--size", "64K"},
                   "pce-%CRC%.bin",
                   "named after its CRC32: pce-%CRC%.bin\n"},
        FolderCase{"BrokenDat",
                   emulator::kPceIdentity,
                   nullptr,
                   {"--dat", "broken.dat"},
                   "",
                   "",
                   tool::kExitFailure}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reader::testing
