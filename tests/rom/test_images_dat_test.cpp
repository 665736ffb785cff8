// The DAT file of the project's test images: one entry per good image, with the size and hashes
// of the form a DAT lists, and names that survive XML.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "tools/test_images.hpp"

namespace reader::testimages {
namespace {

struct DatRom {
    std::string game;
    std::string name;
    std::string size;
    std::string crc;
    std::string sha1;
    friend bool operator==(const DatRom&, const DatRom&) = default;
};

std::string Unescaped(std::string text) {
    const std::pair<std::string, std::string> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    std::string plain;
    for (std::size_t at = 0; at < text.size();) {
        bool replaced = false;
        for (const auto& [entity, character] : entities) {
            if (text.compare(at, entity.size(), entity) == 0) {
                plain += character;
                at += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            plain += text[at++];
        }
    }
    return plain;
}

// The value of attribute `name` in the element text, unescaped; "(missing)" when absent.
std::string Attribute(const std::string& element, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const auto at = element.find(key);
    if (at == std::string::npos) {
        return "(missing)";
    }
    const auto from = at + key.size();
    return Unescaped(element.substr(from, element.find('"', from) - from));
}

// Every <rom/> of every <game>, read the plain way: each game holds exactly one.
std::vector<DatRom> Roms(const std::string& dat) {
    std::vector<DatRom> roms;
    for (std::size_t at = dat.find("<game "); at != std::string::npos;
         at = dat.find("<game ", at + 1)) {
        const std::string game = dat.substr(at, dat.find('>', at) - at);
        const auto rom = dat.find("<rom ", at);
        const std::string element = dat.substr(rom, dat.find("/>", rom) - rom);
        roms.push_back({Attribute(game, "name"), Attribute(element, "name"),
                        Attribute(element, "size"), Attribute(element, "crc"),
                        Attribute(element, "sha1")});
    }
    return roms;
}

DatRom Listed(std::string game, std::string name, std::span<const std::uint8_t> bytes) {
    std::array<char, 9> crc{};
    std::snprintf(crc.data(), crc.size(), "%08x", rom::Crc32(bytes));
    std::string sha1;
    for (const std::uint8_t byte : rom::Sha1(bytes)) {
        std::array<char, 3> digits{};
        std::snprintf(digits.data(), digits.size(), "%02x", byte);
        sha1 += digits.data();
    }
    return {std::move(game), std::move(name), std::to_string(bytes.size()), crc.data(), sha1};
}

const TestImage& Find(const std::vector<TestImage>& images, std::string_view name) {
    for (const auto& image : images) {
        if (image.fileName == name) {
            return image;
        }
    }
    ADD_FAILURE() << "no test image " << name;
    return images.front();
}

TEST(TestImagesDatTest, ListsEachGoodImageOnceAndTheOtherByteOrdersMatchTheirEntry) {
    const auto images = MakeTestImages(kDefaultSeed);
    const std::string dat = MakeTestImagesDat(images, kDefaultSeed);
    EXPECT_TRUE(dat.starts_with("<?xml version=\"1.0\"?>\n<datafile>\n\t<header>\n"));
    EXPECT_NE(dat.find("<name>Project test images</name>"), std::string::npos);
    EXPECT_NE(dat.find("<version>seed 64</version>"), std::string::npos);
    EXPECT_TRUE(dat.ends_with("</datafile>\n"));

    const std::pair<std::string_view, std::string> good[] = {
        {"n64-6101.z64", "Project Test 6101 (World)"},
        {"n64-6102.z64", "Project Test 6102 (World)"},
        {"n64-6103.z64", "Project Test 6103 (World)"},
        {"n64-6105.z64", "Project Test 6105 (World)"},
        {"n64-6106.z64", "Project Test 6106 (World)"},
        {"n64-6102-12mib.z64", "Project Test 6102 12 MiB (World)"},
        {"sfc-lorom.sfc", "Project Test LoROM (World)"},
        {"sfc-hirom.sfc", "Project Test HiROM (World)"},
        {"sfc-hirom-3mib.sfc", "Project Test HiROM 3 MiB (World)"},
    };
    std::vector<DatRom> expected;
    for (const auto& [name, game] : good) {
        expected.push_back(Listed(game, std::string(name), Find(images, name).bytes));
    }
    EXPECT_EQ(Roms(dat), expected);

    // The 12 MiB image is a cartridge of its own, not the 8 MiB one with more after it.
    const auto& twelve = Find(images, "n64-6102-12mib.z64").bytes;
    const auto& eight = Find(images, "n64-6102.z64").bytes;
    ASSERT_EQ(twelve.size(), 12 * kMiB);
    EXPECT_FALSE(std::equal(eight.begin(), eight.end(), twelve.begin()));

    // The copies in the other byte orders are, in big-endian order, the image of that entry.
    for (const auto& [name, order] : {std::pair{"n64-6102.v64", rom::N64ByteOrder::ByteSwapped},
                                      std::pair{"n64-6102.n64", rom::N64ByteOrder::LittleEndian}}) {
        SCOPED_TRACE(name);
        auto bytes = Find(images, name).bytes;
        rom::ConvertN64ByteOrder(bytes, order, rom::N64ByteOrder::BigEndian);
        EXPECT_TRUE(bytes == eight);
    }
}

struct DatCase {
    const char* what;
    TestImage image;
    std::vector<DatRom> expected;
    std::string gameElement;  // as it stands in the text; empty: not checked
};

TEST(TestImagesDatTest, ListsTheFormADatHoldsUnderNamesEscapedForXml) {
    const auto n64 = MakeN64Image(rom::N64BootCode::Boot6105, 3, rom::kN64ChecksumEnd);
    auto swapped = n64;
    rom::ConvertN64ByteOrder(swapped, rom::N64ByteOrder::BigEndian, rom::N64ByteOrder::ByteSwapped);
    const auto sfc = MakeSfcImage(false, 5, 0x40000);
    std::vector<std::uint8_t> copier(rom::kSfcCopierHeaderSize, 0);
    copier.insert(copier.end(), sfc.begin(), sfc.end());
    const std::string odd = "Tom & Jerry's <\"Cart\"> (World)";

    const DatCase cases[] = {
        {"special characters",
         {"a&b <c>.z64", n64, odd},
         {Listed(odd, "a&b <c>.z64", n64)},
         "<game name=\"Tom &amp; Jerry&apos;s &lt;&quot;Cart&quot;&gt; (World)\">"},
        {"a byte-swapped N64 image", {"s.v64", swapped, "S"}, {Listed("S", "s.v64", n64)}, ""},
        {"an SFC image behind a copier header",
         {"c.smc", copier, "C"},
         {Listed("C", "c.smc", sfc)},
         ""},
        {"an SFC image as it is", {"p.sfc", sfc, "P"}, {Listed("P", "p.sfc", sfc)}, ""},
        {"an image without a game", {"x.z64", n64, ""}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<TestImage> images = {c.image};
        const std::string dat = MakeTestImagesDat(images, 7);
        EXPECT_EQ(Roms(dat), c.expected);
        if (!c.gameElement.empty()) {
            EXPECT_NE(dat.find(c.gameElement), std::string::npos) << dat;
        }
    }
}

}  // namespace
}  // namespace reader::testimages
