// The DAT file of the project's test images: one entry per good image, with the size and hashes
// of the form a DAT lists, and names that survive XML.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "tools/test_images.hpp"

namespace reader::testimages {
namespace {

// Every game with its one rom entry, as the text holds them (names still escaped).
std::vector<std::string> Entries(const std::string& dat) {
    static const std::regex kGame(
        "\t<game name=\"([^\"<>]*)\">\n\t\t<description>([^<>]*)</description>\n\t\t<rom "
        "name=\"([^\"<>]*)\" size=\"([0-9]+)\" crc=\"([0-9a-f]{8})\" sha1=\"([0-9a-f]{40})\"/>\n"
        "\t</game>\n");
    std::vector<std::string> entries;
    for (std::sregex_iterator at(dat.begin(), dat.end(), kGame), end; at != end; ++at) {
        EXPECT_EQ((*at)[1], (*at)[2]) << "the description is the name";
        entries.push_back((*at)[1].str() + " | " + (*at)[3].str() + " " + (*at)[4].str() + " " +
                          (*at)[5].str() + " " + (*at)[6].str());
    }
    return entries;
}

// What the entry of bytes listed under these (escaped) names must read.
std::string Entry(const std::string& game, const std::string& rom,
                  std::span<const std::uint8_t> bytes) {
    std::array<char, 9> crc{};
    std::snprintf(crc.data(), crc.size(), "%08x", rom::Crc32(bytes));
    std::string sha1;
    for (const std::uint8_t byte : rom::Sha1(bytes)) {
        std::array<char, 3> digits{};
        std::snprintf(digits.data(), digits.size(), "%02x", byte);
        sha1 += digits.data();
    }
    return game + " | " + rom + " " + std::to_string(bytes.size()) + " " + crc.data() + " " + sha1;
}

TEST(TestImagesDatTest, ListsEachGoodImageOnceAndTheOtherByteOrdersAreItsEntrysImage) {
    const auto images = MakeTestImages(kDefaultSeed);
    const auto bytesOf = [&](std::string_view name) {
        const auto found = std::find_if(images.begin(), images.end(),
                                        [&](const TestImage& i) { return i.fileName == name; });
        return found != images.end() ? found->bytes : std::vector<std::uint8_t>{};
    };
    const std::string dat = MakeTestImagesDat(images, kDefaultSeed);
    EXPECT_TRUE(
        dat.starts_with("<?xml version=\"1.0\"?>\n<datafile>\n\t<header>\n\t\t<name>Project "
                        "test images</name>\n"));
    EXPECT_NE(dat.find("\t\t<version>seed 64</version>\n\t</header>\n"), std::string::npos);
    EXPECT_TRUE(dat.ends_with("</datafile>\n"));

    const std::pair<std::string, std::string> good[] = {
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
    std::vector<std::string> expected;
    for (const auto& [name, game] : good) {
        expected.push_back(Entry(game, name, bytesOf(name)));
    }
    EXPECT_EQ(Entries(dat), expected);

    // The 12 MiB image is a cartridge of its own, not the 8 MiB one with more after it; the copies
    // in the other byte orders are, in big-endian order, the image of the n64-6102.z64 entry.
    const auto eight = bytesOf("n64-6102.z64");
    const auto twelve = bytesOf("n64-6102-12mib.z64");
    ASSERT_EQ(twelve.size(), 12 * kMiB);
    EXPECT_FALSE(std::equal(eight.begin(), eight.end(), twelve.begin()));
    for (const auto& [name, order] : {std::pair{"n64-6102.v64", rom::N64ByteOrder::ByteSwapped},
                                      std::pair{"n64-6102.n64", rom::N64ByteOrder::LittleEndian}}) {
        auto bytes = bytesOf(name);
        rom::ConvertN64ByteOrder(bytes, order, rom::N64ByteOrder::BigEndian);
        EXPECT_TRUE(bytes == eight) << name;
    }
}

TEST(TestImagesDatTest, ListsTheFormADatHoldsUnderNamesEscapedForXml) {
    const auto n64 = MakeN64Image(rom::N64BootCode::Boot6105, 3, rom::kN64ChecksumEnd);
    auto swapped = n64;
    rom::ConvertN64ByteOrder(swapped, rom::N64ByteOrder::BigEndian, rom::N64ByteOrder::ByteSwapped);
    const auto sfc = MakeSfcImage(false, 5, 0x40000);
    std::vector<std::uint8_t> copier(rom::kSfcCopierHeaderSize, 0);
    copier.insert(copier.end(), sfc.begin(), sfc.end());

    const std::pair<TestImage, std::vector<std::string>> cases[] = {
        {{"a&b <c>.z64", n64, "Tom & Jerry's <\"Cart\"> (World)"},
         {Entry("Tom &amp; Jerry&apos;s &lt;&quot;Cart&quot;&gt; (World)", "a&amp;b &lt;c&gt;.z64",
                n64)}},
        {{"s.v64", swapped, "Swapped"}, {Entry("Swapped", "s.v64", n64)}},
        {{"c.smc", copier, "Copier"}, {Entry("Copier", "c.smc", sfc)}},
        {{"p.sfc", sfc, "Plain"}, {Entry("Plain", "p.sfc", sfc)}},
        {{"x.z64", n64, ""}, {}},  // no game, no entry
    };
    for (const auto& [image, expected] : cases) {
        SCOPED_TRACE(image.fileName);
        const std::vector<TestImage> images = {image};
        EXPECT_EQ(Entries(MakeTestImagesDat(images, 7)), expected);
    }
}

}  // namespace
}  // namespace reader::testimages
