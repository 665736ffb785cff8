// DAT files: what is read from them (and what is skipped and counted), the one line for every
// kind of broken file, and the answer for images that are verified, altered, unknown, in another
// N64 byte order, or behind an SFC copier header. Every DAT here is made by the test.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "frontend/rom/dat.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/rom/n64_header.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "rom/rom_test_support.hpp"
#include "text/text.hpp"
#include "tools/test_images.hpp"

namespace reader::rom {
namespace {

using test::LcgBytes;

std::string Sha1Hex(const Sha1Digest& digest) {
    return text::HexBytes(digest, text::Letters::Lower);
}

std::string CrcHex(std::uint32_t crc) {
    return text::HexDigits(crc, 8, text::Letters::Lower);
}

// <rom .../> listing an image by its hashes.
std::string RomLine(const ImageHashes& hashes, bool withSha1 = true) {
    std::string line = "<rom name=\"image.bin\" size=\"" + std::to_string(hashes.size) +
                       "\" crc=\"" + CrcHex(hashes.crc32) + "\"";
    if (withSha1) {
        line += " sha1=\"" + Sha1Hex(hashes.sha1) + "\"";
    }
    return line + "/>";
}

std::string Dat(const std::string& name, const std::string& games) {
    return "<?xml version=\"1.0\"?>\n"
           "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
           "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
           "<datafile>\n<header><name>" +
           name + "</name><version>1</version></header>\n" + games + "</datafile>\n";
}

std::string Game(const std::string& name, const std::string& roms) {
    return "<game name=\"" + name + "\">" + roms + "</game>\n";
}

const std::string kSomeRom =
    "<rom name=\"a\" size=\"4\" crc=\"0A0B0C0D\" sha1=\"" + std::string(40, 'F') + "\"/>";

TEST(DatReader, ReadsEntriesAndCountsWhatItSkips) {
    struct Case {
        const char* what;
        std::string text;
        std::string name;  // of the DAT
        std::size_t entries;
        std::size_t skipped;
    };
    const Case cases[] = {
        {"games with one and two ROMs",
         Dat("Test N64", Game("A", kSomeRom) + Game("B", kSomeRom + kSomeRom)), "Test N64", 3, 0},
        {"game and machine elements",
         "<datafile><game name=\"A\">" + kSomeRom + "</game><machine name=\"B\">" + kSomeRom +
             "</machine><software name=\"C\">" + kSomeRom + "</software></datafile>",
         "my.dat", 2, 0},
        {"missing and unreadable attributes",
         Dat("Skips", Game("A", "<rom size=\"4\" sha1=\"" + std::string(40, '0') + "\"/>" +
                                    "<rom crc=\"12345678\"/><rom size=\"x\" crc=\"1\"/>" +
                                    "<rom size=\"4\" crc=\"123456789\"/>" +
                                    "<rom size=\"4\" crc=\"1\" sha1=\"12\"/>" +
                                    "<rom size=\"4\" crc=\"aBcD\"/>")),
         "Skips", 1, 5},
        {"a header only", Dat("Empty list", ""), "Empty list", 0, 0},
        {"no header name: the file's name",
         "<datafile><game name=\"A\">" + kSomeRom + "</game></datafile>", "my.dat", 1, 0},
        {"a blank header name: the file's name",
         "<datafile><header><name></name></header></datafile>", "my.dat", 0, 0},
        {"UTF-8 byte order mark, CRLF lines, comments",
         "\xEF\xBB\xBF<datafile>\r\n<!-- list -->\r\n<header><name>BOM</name></header>\r\n"
         "<game name=\"A\">" +
             kSomeRom + "</game>\r\n</datafile>\r\n",
         "BOM", 1, 0},
    };
    for (const auto& c : cases) {
        DatIndex index;
        std::string error;
        ASSERT_TRUE(index.AddText(c.text, "my.dat", error)) << c.what << ": " << error;
        ASSERT_EQ(index.Files().size(), 1u) << c.what;
        EXPECT_EQ(index.Files()[0].name, c.name) << c.what;
        EXPECT_EQ(index.Files()[0].entries, c.entries) << c.what;
        EXPECT_EQ(index.Files()[0].skipped, c.skipped) << c.what;
        EXPECT_EQ(index.EntryCount(), c.entries) << c.what;
    }
}

TEST(DatReader, RefusesABrokenFileWithOneLineSayingWhere) {
    std::string deep;
    for (int i = 0; i < 40; ++i) {
        deep += "<a>";
    }
    const std::string valid = Dat("Test", Game("A", kSomeRom));
    struct Case {
        const char* what;
        std::string text;
        std::string error;  // the whole line
    };
    const Case cases[] = {
        {"a closing tag that names another element",
         "<datafile>\n<game name=\"a\">\n" + kSomeRom + "\n</gmae>\n</datafile>\n",
         "bad.dat: not valid XML at line 4, column 7 (invalid closing tag name). The DAT file "
         "is damaged: get it again."},
        {"an attribute without quotes", "<datafile>\n  <game name=A>",
         "bad.dat: not valid XML at line 2, column 14 (expected ' or \"). The DAT file is "
         "damaged: get it again."},
        {"cut short inside a tag", valid.substr(0, valid.size() - 8),
         "bad.dat: the XML ends early, at line 6, column 5: the DAT file is incomplete. Get "
         "the DAT file again."},
        {"cut short after an element", valid.substr(0, valid.find("</datafile>")),
         "bad.dat: the XML ends early, at line 6, column 1: the DAT file is incomplete. Get "
         "the DAT file again."},
        {"empty", "", "bad.dat: the file is empty, not a DAT file. Get the DAT file again."},
        {"blank", " \r\n\t\n",
         "bad.dat: the file is empty, not a DAT file. Get the DAT file again."},
        {"after a byte order mark", "\xEF\xBB\xBF<datafile><game name=\"\xC3\xA9\"></gme>",
         "bad.dat: not valid XML at line 1, column 31 (invalid closing tag name). The DAT file "
         "is damaged: get it again."},
        {"not XML", "Game,CRC32\nA,0A0B0C0D\n",
         "bad.dat: not valid XML at line 1, column 1 (expected <). The DAT file is damaged: get "
         "it again."},
        {"a NUL byte", std::string("<datafile>\n  <ga\0me/>", 21),
         "bad.dat: a NUL byte at line 2, column 6: not a DAT file (a DAT file is XML text)."},
        {"too deep", deep,
         "bad.dat: not a DAT file: its elements nest more than 32 deep at line 1, column 97 (a "
         "DAT file nests 3 deep)."},
        {"another kind of XML", "<html><body><p>text</p></body></html>",
         "bad.dat: not a DAT file: its root element <html> holds no <header>, <game> or "
         "<machine>."},
        {"only a declaration", "<?xml version=\"1.0\"?>\n",
         "bad.dat: holds no XML element, not a DAT file."},
    };
    for (const auto& c : cases) {
        DatIndex index;
        std::string error;
        EXPECT_FALSE(index.AddText(c.text, "bad.dat", error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_TRUE(index.Files().empty()) << c.what;
    }
}

TEST(XmlNesting, CountsTheElementsTheParserDescendsInto) {
    struct Case {
        const char* what;
        std::string text;
        std::size_t deepest;
    };
    const Case cases[] = {
        {"elements that close themselves count", "<a><b/><c><d/></c></a>", 3},
        {"comments", "<a><!-- <b><c> --></a>", 1},
        {"CDATA", "<a><![CDATA[<b><c>]]></a>", 1},
        {"declaration, DOCTYPE with brackets", "<?xml v='<b>'?><!DOCTYPE a [<!E [<x>]>]><a/>", 1},
        {"'<' and '>' in attribute values", "<a x='>' y=\"<b>\"><b/></a>", 2},
        {"a quote in an attribute name", "<a b\"c='x'><d/></a>", 2},
        {"stops at a NUL byte", std::string("<a>\0<b><c>", 9), 1},
        {"stops where the parser stops", "<a><b c><d><e>", 1},
    };
    for (const auto& c : cases) {
        const XmlNesting nesting = MeasureXmlNesting(c.text, 4);
        EXPECT_EQ(nesting.deepest, c.deepest) << c.what;
        EXPECT_FALSE(nesting.tooDeepAt.has_value()) << c.what;
    }
    const XmlNesting deep = MeasureXmlNesting("<a><b><c><d><e/></d></c></b></a>", 4);
    EXPECT_EQ(deep.tooDeepAt, std::optional<std::size_t>(12));
}

// A folder of the test's own, removed at the end.
class DatFolder {
  public:
    DatFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("rom-dat-test-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::create_directories(path_);
    }
    ~DatFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    DatFolder(const DatFolder&) = delete;
    DatFolder& operator=(const DatFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

TEST(DatReader, ReadsFilesAndRefusesWhatCannotBeOne) {
    DatFolder folder;
    const auto good = folder.Path() / "N64 list.dat";
    std::ofstream(good, std::ios::binary)
        << "<datafile><game name=\"A\">" << kSomeRom << "</game></datafile>";
    // A file far larger than any DAT, sparse: it takes no room on the disk.
    const auto huge = folder.Path() / "huge.dat";
    std::ofstream(huge, std::ios::binary) << "<datafile>";
    std::filesystem::resize_file(huge, 300u << 20);
    const auto small = folder.Path() / "small-limit.dat";
    std::ofstream(small, std::ios::binary) << Dat("Small", Game("A", kSomeRom));

    struct Case {
        const char* what;
        std::filesystem::path path;
        std::uintmax_t limit;
        std::string error;  // how the line starts after the path; empty: read
    };
    const Case cases[] = {
        {"a DAT file", good, kDatMaxFileSize, ""},
        {"no such file", folder.Path() / "missing.dat", kDatMaxFileSize, ": cannot read it ("},
        {"a folder", folder.Path(), kDatMaxFileSize, " is a folder. Give a DAT file."},
        {"300 MiB", huge, kDatMaxFileSize,
         ": 314572800 bytes (300 MiB), larger than any DAT file of cartridge dumps (at most 64 "
         "MiB are read)."},
        {"over a given limit", small, 16,
         ": " + std::to_string(std::filesystem::file_size(small)) +
             " bytes, larger than any DAT file of cartridge dumps (at most 16 bytes are read)."},
    };
    for (const auto& c : cases) {
        DatIndex index;
        std::string error;
        const bool read = index.AddFile(c.path, error, c.limit);
        EXPECT_EQ(read, c.error.empty()) << c.what << ": " << error;
        if (!c.error.empty()) {
            EXPECT_TRUE(error.starts_with(c.path.string() + c.error)) << c.what << ": " << error;
        } else {
            ASSERT_EQ(index.Files().size(), 1u);
            EXPECT_EQ(index.Files()[0].name, "N64 list.dat");
        }
    }
}

TEST(DatIndex, AnswersForEveryKindOfImage) {
    using testimages::MakeN64Image;
    using testimages::MakeSfcImage;
    const auto n64 = MakeN64Image(N64BootCode::Boot6102, 1, kN64ChecksumEnd);
    const auto sfc = MakeSfcImage(false, 1, testimages::kMiB);
    const auto other = LcgBytes(100000);
    auto altered = n64;
    testimages::FlipByte(altered, testimages::kN64FlippedByteOffset);
    std::vector<std::uint8_t> swapped = n64;
    ConvertN64ByteOrder(swapped, N64ByteOrder::BigEndian, N64ByteOrder::ByteSwapped);
    std::vector<std::uint8_t> little = n64;
    ConvertN64ByteOrder(little, N64ByteOrder::BigEndian, N64ByteOrder::LittleEndian);
    std::vector<std::uint8_t> copier(kSfcCopierHeaderSize, 0);
    copier.insert(copier.end(), sfc.begin(), sfc.end());
    const auto unlisted = LcgBytes(4096);

    // The altered dump keeps the good dump's CRC32 in the DAT but another SHA-1.
    ImageHashes alteredEntry = HashImage(n64);
    alteredEntry.crc32 = Crc32(altered);
    const std::string n64Dat =
        Dat("Test N64 &amp; more", Game("Project Test (World)", RomLine(HashImage(n64))) +
                                       Game("Altered &quot;Game&quot;", RomLine(alteredEntry)));
    const std::string sfcDat =
        Dat("Test SFC", Game("Project LoROM", RomLine(HashImage(sfc))) +
                            Game("Other &#x263A;", RomLine(HashImage(other), false)));
    DatIndex index;
    std::string error;
    ASSERT_TRUE(index.AddText(n64Dat, "n64.dat", error)) << error;
    ASSERT_TRUE(index.AddText(sfcDat, "sfc.dat", error)) << error;
    DatIndex single;
    const DatIndex none;
    ASSERT_TRUE(single.AddText(sfcDat, "sfc.dat", error)) << error;

    struct Case {
        const char* what;
        const DatIndex& index;
        std::vector<std::uint8_t> image;
        ImageKind kind;
        std::string line;
    };
    const Case cases[] = {
        {"verified N64", index, n64, ImageKind::N64,
         "DAT: verified, Project Test (World) (Test N64 & more)\n"},
        {"N64 byte-swapped", index, swapped, ImageKind::N64,
         "DAT: verified, Project Test (World) (Test N64 & more), matched in its big-endian form "
         "(the file is byte-swapped)\n"},
        {"N64 little-endian", index, little, ImageKind::N64,
         "DAT: verified, Project Test (World) (Test N64 & more), matched in its big-endian form "
         "(the file is little-endian)\n"},
        {"CRC32 only", index, altered, ImageKind::N64,
         "DAT: CRC32 matches Altered \"Game\" (Test N64 & more) but SHA-1 differs: not a verified "
         "dump\n"},
        {"verified SFC", index, sfc, ImageKind::Sfc, "DAT: verified, Project LoROM (Test SFC)\n"},
        {"SFC behind a copier header", index, copier, ImageKind::Sfc,
         "DAT: verified, Project LoROM (Test SFC), matched without its 512-byte copier header\n"},
        {"an entry without SHA-1", index, other, ImageKind::Other,
         "DAT: CRC32 and size match Other \xE2\x98\xBA (Test SFC), which lists no SHA-1: not a "
         "verified dump\n"},
        {"not found", index, unlisted, ImageKind::Other,
         "DAT: not found in 2 DAT files (4 entries)\n"},
        {"not found in one file", single, unlisted, ImageKind::Other,
         "DAT: not found in 1 DAT file (2 entries)\n"},
        {"no DAT file", none, n64, ImageKind::N64, "DAT: not found in 0 DAT files (0 entries)\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DatReportLine(c.index.Match(ComputeImageDigests(c.image, c.kind))), c.line)
            << c.what;
    }
}

}  // namespace
}  // namespace reader::rom
