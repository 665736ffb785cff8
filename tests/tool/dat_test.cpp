// DAT files in reader-tool: where a user keeps them, the dump report's DAT line with the exit
// statuses a script relies on ("is this a good dump?"), and the names of dumps into a folder.
#include <gtest/gtest.h>

#include <sstream>

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

// The DAT files of a case: the project's, one that lists another image only, the project's with
// every SHA-1 changed in its first digit, one that lists the image itself (as "Listed"), the
// project's cut short (beside a good one when in the default folder), or none.
using Bytes = std::vector<std::uint8_t>;
std::string Project(const Bytes&) {
    return ProjectDat();
}
std::string Other(const Bytes&) {
    return testimages::MakeTestImagesDat(
        std::vector<testimages::TestImage>{{"o.sfc", ProjectImage("sfc-lorom.sfc"), "Other"}}, 1);
}
std::string OtherSha1(const Bytes&) {
    std::string dat = ProjectDat();
    for (auto at = dat.find("sha1=\""); at != std::string::npos; at = dat.find("sha1=\"", at + 1)) {
        dat[at + 6] = dat[at + 6] == '0' ? '1' : '0';
    }
    return dat;
}
std::string Listed(const Bytes& image) {
    return testimages::MakeTestImagesDat(
        std::vector<testimages::TestImage>{{"listed", image, "Listed"}}, 1);
}
std::string Broken(const Bytes&) {
    return ProjectDat().substr(0, ProjectDat().size() / 2);
}
std::string None(const Bytes&) {
    return {};
}

struct CheckCase {
    const char* name;
    const char* image;  // one of the project's images
    std::string (*dat)(const Bytes& image);
    bool inFolder;  // in the default folder, else given with --dat
    int status;
    std::string line;  // the DAT line ("%FOLDER%": the default folder), or the start of the error
    bool copierHeader = false;
};

class DatCheck : public ToolFixture, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(DatCheck, SaysWhatTheDatFilesSayAndFailsOnlyWithDat) {
    const CheckCase& c = GetParam();
    Bytes image = ProjectImage(c.image);
    if (c.copierHeader) {
        image.insert(image.begin(), 512, 0);
    }
    WriteBytes(folder.File(c.image), image);
    const fs::path defaults = folder.Path() / "default";
    fs::create_directories(defaults);
    os.datFolders = {defaults};
    const std::string dat = c.dat(image);
    const std::string file = ((c.inFolder ? defaults : folder.Path()) / "given.xml").string();
    std::vector<std::string> args = {"check", folder.File(c.image)};
    if (!dat.empty()) {
        WriteText(file, dat);
    }
    if (c.inFolder && c.dat == Broken) {
        WriteText((defaults / "project.DAT").string(), ProjectDat());
    }
    if (!c.inFolder) {
        args.insert(args.end(), {"--dat", file});
    }
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (!c.inFolder && c.dat == Broken) {
        // The DAT file's one line, before the image is read.
        EXPECT_EQ(run.err.rfind("reader-tool: " + file + ": " + c.line, 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        return;
    }
    std::string line = c.line;
    if (const auto at = line.find("%FOLDER%"); at != std::string::npos) {
        line.replace(at, 8, defaults.string());
    }
    EXPECT_TRUE(run.out.ends_with(line)) << run.out;
    if (c.dat == Broken) {
        EXPECT_EQ(run.err.rfind("reader-tool: warning: " + file + ": the XML ends early", 0), 0u);
        EXPECT_TRUE(run.err.ends_with(
            "Get the DAT file again. It is left out; the other DAT files are used.\n"))
            << run.err;
    }
}

const std::string kVerified6102 = "DAT: verified, Project Test 6102 (World) (Project test images)";

INSTANTIATE_TEST_SUITE_P(
    Images, DatCheck,
    ::testing::Values(
        CheckCase{"Verified", "n64-6102.z64", Project, false, 0, kVerified6102 + "\n"},
        CheckCase{"ByteSwapped", "n64-6102.v64", Project, false, 0,
                  kVerified6102 + ", matched in its big-endian form (the file is byte-swapped)\n"},
        CheckCase{"LittleEndian", "n64-6102.n64", Project, false, 0,
                  kVerified6102 + ", matched in its big-endian form (the file is little-endian)\n"},
        CheckCase{"CopierHeader", "sfc-lorom.sfc", Project, false, 0,
                  "DAT: verified, Project Test LoROM (World) (Project test images), matched "
                  "without its 512-byte copier header\n",
                  true},
        CheckCase{"Crc32Only", "n64-6102.z64", OtherSha1, false, 1,
                  "DAT: CRC32 matches Project Test 6102 (World) (Project test images) but SHA-1 "
                  "differs: not a verified dump\n"},
        // The broken copy's header check says bad; a DAT that lists it outweighs its header.
        CheckCase{"ListedDespiteItsHeader", "n64-6101-bad-header.z64", Listed, false, 0,
                  "DAT: verified, Listed (Project test images)\n"},
        CheckCase{"NotFoundWithDat", "sfc-hirom.sfc", Other, false, 1,
                  "DAT: not found in 1 DAT file (1 entry)\n"},
        // The same from the default folder is information only.
        CheckCase{"NotFoundInTheFolder", "sfc-hirom.sfc", Other, true, 0,
                  "DAT: not found in 1 DAT file (1 entry)\n"},
        CheckCase{"NoDatAnywhere", "sfc-hirom.sfc", None, true, 0,
                  "DAT: none to verify against: put DAT files in %FOLDER%, or give --dat\n"},
        CheckCase{"BrokenDat", "sfc-hirom.sfc", Broken, false, 1, "the XML ends early"},
        CheckCase{"BrokenDatBeside", "n64-6102.z64", Broken, true, 0, kVerified6102 + "\n"}),
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
enum class Twist : std::uint8_t { None, BlankTitle, Taken };

struct FolderCase {
    const char* name;
    const char* image;  // the project's image the reader serves (.sfc: an SFC reader), or nothing:
                        // a PCE reader's test cartridge
    std::string args;   // separated by blanks
    std::string file;   // the name the dump gets; "%CRC%" stands for the file's CRC32
    std::string said;   // what the dump says, "%CRC%" likewise
    int status = 0;
    Twist twist = Twist::None;  // a blank title, or a file of that name there already
};

class DumpIntoFolder : public ToolFixture, public ::testing::WithParamInterface<FolderCase> {};

std::string WithCrc(std::string text, const fs::path& file) {
    const auto at = text.find("%CRC%");
    const auto crc = [&] {
        return platform::FormatText("%08X", rom::Crc32(ReadBytes(file.string())));
    };
    return at == std::string::npos ? text : text.replace(at, 5, crc());
}

TEST_P(DumpIntoFolder, NamesTheFileAfterTheGameAndKeepsWhatIsThere) {
    const FolderCase& c = GetParam();
    emulator::ReaderConfig config;
    config.fixedIdentity = c.image == nullptr ? emulator::kPceIdentity
                           : std::string_view(c.image).ends_with(".sfc")
                               ? emulator::kSfcIdentity
                               : emulator::kN64CartIdentity;
    if (c.image != nullptr) {
        config.cartridgeImage = ProjectImage(c.image);
    }
    if (c.twist == Twist::BlankTitle) {
        std::fill_n(config.cartridgeImage.begin() + rom::kN64TitleOffset, rom::kN64TitleSize, ' ');
    }
    host_.AttachReader('E', std::move(config));
    const fs::path dumps = folder.Path() / "dumps";
    fs::create_directories(dumps);
    WriteText(folder.File("project.dat"), ProjectDat());
    WriteText(folder.File("broken.dat"), ProjectDat().substr(0, 100));
    const Bytes old = {'o', 'l', 'd'};
    if (c.twist == Twist::Taken) {
        WriteBytes((dumps / c.file).string(), old);
    }
    std::vector<std::string> args = {"dump", dumps.string(), "--quiet"};
    std::istringstream words(c.args);
    for (std::string arg; words >> arg;) {
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
        if (c.twist != Twist::Taken || entry.path().filename() != c.file) {
            added.push_back(entry.path());
        }
    }
    ASSERT_EQ(added.size(), 1u) << run.out;
    const fs::path& written = added.front();
    const fs::path named(WithCrc(c.file, written));
    EXPECT_EQ(written.filename().string(),
              c.twist == Twist::Taken ? named.stem().string() + " (1)" + named.extension().string()
                                      : named.string());
    EXPECT_NE(run.out.find(WithCrc(c.said, written)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nwrote " + written.string() + ": "), std::string::npos) << run.out;
    if (c.twist == Twist::Taken) {
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
        FolderCase{"FromTheDat", "n64-6101.z64", "--dat project.dat",
                   "Project Test 6101 (World).z64",
                   "named after its DAT entry: Project Test 6101 (World).z64\n"},
        FolderCase{"FromTheHeader", "n64-6101.z64", "", "PROJECT TEST 6101 (NPTE).z64",
                   "named after the header's title and game code: PROJECT TEST 6101 (NPTE).z64\n"},
        FolderCase{"ByteSwapped", "n64-6101.z64", "--byte-order v64",
                   "PROJECT TEST 6101 (NPTE).v64", ".v64\n"},
        // Not in the DAT given: named from the header, kept, and the dump fails.
        FolderCase{"NotVerified", "n64-6101-bad-header.z64", "--dat project.dat",
                   "PROJECT TEST 6101 (NPTE).z64", "DAT: not found in 1 DAT file (9 entries)\n",
                   tool::kExitFailure},
        FolderCase{"BlankTitle", "n64-6101.z64", "", "n64-%CRC%.z64",
                   "named after its CRC32 (the header gives no title): n64-%CRC%.z64\n", 0,
                   Twist::BlankTitle},
        FolderCase{"SfcTaken", "sfc-lorom.sfc", "", "PROJECT LOROM TEST.sfc",
                   "that name is taken, so the dump is written as PROJECT LOROM TEST (1).sfc "
                   "(--force replaces the file of that name)\n",
                   0, Twist::Taken},
        FolderCase{"NoHeader", nullptr, "--size 64K", "pce-%CRC%.bin",
                   "named after its CRC32: pce-%CRC%.bin\n"},
        FolderCase{"BrokenDat", nullptr, "--dat broken.dat", "", "", tool::kExitFailure}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace reader::testing
