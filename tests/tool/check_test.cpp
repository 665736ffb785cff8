// check reads its image once, hashing as it reads, from a file or from standard input: a file
// larger than any cartridge is refused from its size, an empty one gets a line of its own, and
// the digests are those of the whole image.
#include <gtest/gtest.h>

#include "frontend/image_input.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "tool/tool_fixture.hpp"
#include "tools/test_images.hpp"

namespace reader::testing {
namespace {

using testimages::kMiB;

std::vector<std::uint8_t> N64Image(rom::N64ByteOrder order, std::size_t extra,
                                   std::size_t size = 2 * kMiB) {
    auto image = testimages::MakeN64Image(rom::N64BootCode::Boot6102, 5, 2 * kMiB);
    image.resize(size + extra, 0x3C);
    rom::ConvertN64ByteOrder(image, rom::N64ByteOrder::BigEndian, order);
    return image;
}

std::vector<std::uint8_t> SfcImage(bool copierHeader) {
    auto image = testimages::MakeSfcImage(false, 5, 64 * 1024);
    if (copierHeader) {
        image.insert(image.begin(), rom::kSfcCopierHeaderSize, 0x00);
    }
    return image;
}

// Every kind of image, fed in pieces of every size, with its size known beforehand or not: the
// digests are those of the whole image.
TEST(InputHasherTest, DigestsAreThoseOfTheWholeImage) {
    constexpr std::size_t kImage = 20000;  // the hashes need no whole N64 header
    const struct {
        const char* name;
        std::vector<std::uint8_t> image;
    } images[] = {
        {"N64 big-endian", N64Image(rom::N64ByteOrder::BigEndian, 0, kImage)},
        {"N64 byte-swapped, a part-word at the end",
         N64Image(rom::N64ByteOrder::ByteSwapped, 3, kImage)},
        {"N64 little-endian", N64Image(rom::N64ByteOrder::LittleEndian, 6, kImage)},
        {"SFC", SfcImage(false)},
        {"SFC behind a copier header", SfcImage(true)},
        {"other, 512 bytes more than whole KiB", std::vector<std::uint8_t>(1536, 0xA5)},
        {"shorter than a word", {0x80, 0x37}},
    };
    for (const auto& c : images) {
        const rom::ImageKind kind = rom::RecogniseImage(c.image);
        const rom::ImageDigests whole = rom::ComputeImageDigests(c.image, kind);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
            for (const bool sizeKnown : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece) +
                             (sizeKnown ? ", size known" : ""));
                tool::InputHasher hasher(sizeKnown ? std::optional<std::uint64_t>(c.image.size())
                                                   : std::nullopt);
                for (std::size_t at = 0; at < c.image.size(); at += piece) {
                    hasher.Add(
                        std::span(c.image).subspan(at, std::min(piece, c.image.size() - at)));
                }
                const rom::ImageDigests digests = hasher.Finish(c.image, kind);
                EXPECT_EQ(digests.file, whole.file);
                EXPECT_EQ(digests.listed, whole.listed);
                EXPECT_EQ(digests.listedForm, whole.listedForm);
                EXPECT_EQ(digests.fileOrder, whole.fileOrder);
            }
        }
    }
}

struct CheckCase {
    const char* name;
    std::vector<std::string> args;  // IMG: the image file
    std::optional<std::vector<std::uint8_t>> file;
    std::uint64_t sparseSize;  // a file of this size with nothing written in it
    std::vector<std::uint8_t> input;
    bool inputTerminal;
    int status;
    std::string err;
    std::string outStart;
};

class CheckReading : public ToolFixture, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckReading, SaysWhatItReadOrWhyNot) {
    const CheckCase& c = GetParam();
    const std::string image = folder.File("image.bin");
    if (c.file) {
        WriteBytes(image, *c.file);
    }
    if (c.sparseSize != 0) {
        WriteBytes(image, {});
        std::filesystem::resize_file(image, c.sparseSize);
    }
    os.standardInput = c.input;
    os.inputPiece = 1000;
    os.inputTerminal = c.inputTerminal;
    std::vector<std::string> args = c.args;
    std::replace(args.begin(), args.end(), std::string("IMG"), image);
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    std::string err = c.err;
    if (const auto at = err.find("IMG"); at != std::string::npos) {
        err.replace(at, 3, image);
    }
    EXPECT_EQ(run.err, err.empty() ? "" : "reader-tool: " + err + "\n");
    EXPECT_EQ(run.out.rfind(c.outStart, 0), 0u) << run.out;
    if (c.status == tool::kExitSuccess) {
        // Standard input's report is the report of the same bytes in a file.
        WriteBytes(image, c.input.empty() ? *c.file : c.input);
        const ToolRun fromFile = Run({"check", image});
        EXPECT_EQ(run.out.substr(run.out.find('\n')), fromFile.out.substr(fromFile.out.find('\n')));
    }
    EXPECT_EQ(os.inputAt, c.input.size());
}

constexpr std::uint64_t kGiB = 1024 * kMiB;

INSTANTIATE_TEST_SUITE_P(
    Inputs, CheckReading,
    ::testing::Values(
        CheckCase{"EmptyFile",
                  {"check", "IMG"},
                  std::vector<std::uint8_t>{},
                  0,
                  {},
                  false,
                  tool::kExitFailure,
                  "IMG is empty: there is nothing to check.",
                  ""},
        // Refused from its size: not a byte of it is read.
        CheckCase{"LargerThanAnyCartridge",
                  {"check", "IMG"},
                  std::nullopt,
                  3 * kGiB,
                  {},
                  false,
                  tool::kExitFailure,
                  "IMG holds 3 GiB, more than any cartridge image: it is not a dump. Check the "
                  "name.",
                  ""},
        CheckCase{"StandardInput",
                  {"check", "-"},
                  std::nullopt,
                  0,
                  N64Image(rom::N64ByteOrder::ByteSwapped, 0),
                  false,
                  tool::kExitSuccess,
                  "",
                  "file standard input\nSystem: N64\n"},
        CheckCase{"EmptyStandardInput",
                  {"check", "-"},
                  std::nullopt,
                  0,
                  {},
                  false,
                  tool::kExitFailure,
                  "standard input is empty: there is nothing to check.",
                  ""},
        CheckCase{"StandardInputIsTheTerminal",
                  {"check", "-"},
                  std::nullopt,
                  0,
                  {},
                  true,
                  tool::kExitUsage,
                  "check - reads the image from standard input, which is the terminal here: "
                  "redirect or pipe the image into it (reader-tool check - < game.z64). Try "
                  "'reader-tool check --help'.",
                  ""}),
    [](const auto& row) { return std::string(row.param.name); });

// Standard input has no size to refuse beforehand: it is held to the bound as it arrives.
TEST_F(ToolFixture, StandardInputBeyondTheBoundIsRefusedAsItArrives) {
    const tool::ToolStreams streams{[](std::string_view) { return tool::StreamWrite{}; },
                                    [](std::string_view) {}, [] { return std::nullopt; }};
    tool::ToolContext context(streams, os, platform::ActiveHost());
    os.standardInput.assign(5000, 0x11);
    os.inputPiece = 1000;
    for (const std::uint64_t most : {std::uint64_t{5000}, std::uint64_t{4999}}) {
        os.inputAt = 0;
        const auto read = tool::ReadImageToCheck(context, "-", most);
        ASSERT_EQ(static_cast<bool>(read), most == 5000) << most;
        if (!read) {
            EXPECT_EQ(read.Error().message,
                      "standard input holds more than 4.9 KiB, more than any cartridge image: it "
                      "is not a dump. Check what goes into it.");
        }
    }
}

}  // namespace
}  // namespace reader::testing
