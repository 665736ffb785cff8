// check reads its image once, hashing as it reads, from a file or from standard input: a file
// larger than any cartridge is refused from its size, an empty one gets a line of its own.
#include <gtest/gtest.h>

#include "frontend/image_input.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "tool/tool_fixture.hpp"
#include "tools/test_images.hpp"

namespace reader::testing {
namespace {

std::vector<std::uint8_t> N64Image(rom::N64ByteOrder order, std::size_t size) {
    auto image = testimages::MakeN64Image(rom::N64BootCode::Boot6102, 5, 2 * testimages::kMiB);
    image.resize(size);
    rom::ConvertN64ByteOrder(image, rom::N64ByteOrder::BigEndian, order);
    return image;
}

// Images of every kind fed in pieces of any size, their size known beforehand or not: the
// digests (the file's, and the form a DAT lists) are those of the whole image.
TEST(InputHasherTest, DigestsAreThoseOfTheWholeImage) {
    auto copier = testimages::MakeSfcImage(false, 5, 64 * 1024);
    copier.insert(copier.begin(), rom::kSfcCopierHeaderSize, 0x00);
    const std::vector<std::uint8_t> images[] = {
        N64Image(rom::N64ByteOrder::ByteSwapped, 20003),  // a part-word at the end
        N64Image(rom::N64ByteOrder::LittleEndian, 20000),
        copier,
        std::vector<std::uint8_t>(1536, 0xA5),
        {0x80, 0x37}};
    for (const auto& image : images) {
        const rom::ImageKind kind = rom::RecogniseImage(image);
        const rom::ImageDigests whole = rom::ComputeImageDigests(image, kind);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{4097}}) {
            for (const bool sizeKnown : {false, true}) {
                SCOPED_TRACE(std::to_string(image.size()) + " bytes in pieces of " +
                             std::to_string(piece) + (sizeKnown ? ", size known" : ""));
                tool::InputHasher hasher(sizeKnown ? std::optional<std::uint64_t>(image.size())
                                                   : std::nullopt);
                for (std::size_t at = 0; at < image.size(); at += piece) {
                    hasher.Add(std::span(image).subspan(at, std::min(piece, image.size() - at)));
                }
                const rom::ImageDigests digests = hasher.Finish(image, kind);
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
    const char* path;  // IMG: the image file
    std::optional<std::vector<std::uint8_t>> file;
    std::uint64_t sparseSize;  // a file of this size with nothing written in it
    std::vector<std::uint8_t> input;
    bool inputTerminal;
    int status;
    std::string err;  // IMG: the image file
};

class CheckReading : public ToolFixture, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckReading, SaysWhatItReadOrWhyNot) {
    const CheckCase& c = GetParam();
    const std::string image = folder.File("image.bin");
    if (c.file || c.sparseSize != 0) {
        WriteBytes(image, c.file.value_or(std::vector<std::uint8_t>{}));
        std::filesystem::resize_file(image, c.file ? c.file->size() : c.sparseSize);
    }
    os.standardInput = c.input;
    os.inputTerminal = c.inputTerminal;
    const ToolRun run = Run({"check", c.path == std::string("IMG") ? image : c.path});
    EXPECT_EQ(run.status, c.status) << run.err;
    std::string err = c.err.empty() ? "" : "reader-tool: " + c.err + "\n";
    if (const auto at = err.find("IMG"); at != std::string::npos) {
        err.replace(at, 3, image);
    }
    EXPECT_EQ(run.err, err);
    if (c.status == tool::kExitSuccess) {
        // Standard input's report is the report of the same bytes in a file.
        WriteBytes(image, c.input);
        const ToolRun fromFile = Run({"check", image});
        EXPECT_EQ(run.out, "file standard input" + fromFile.out.substr(fromFile.out.find('\n')));
    }
    EXPECT_EQ(os.inputAt, c.input.size());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CheckReading,
    ::testing::Values(
        CheckCase{"EmptyFile",
                  "IMG",
                  std::vector<std::uint8_t>{},
                  0,
                  {},
                  false,
                  tool::kExitFailure,
                  "IMG is empty: there is nothing to check."},
        // Refused from its size: not a byte of it is read.
        CheckCase{"LargerThanAnyCartridge",
                  "IMG",
                  std::nullopt,
                  std::uint64_t{3} << 30,
                  {},
                  false,
                  tool::kExitFailure,
                  "IMG holds 3 GiB, more than any cartridge image: it is not a dump. Check the "
                  "name."},
        CheckCase{"StandardInput", "-", std::nullopt, 0,
                  N64Image(rom::N64ByteOrder::ByteSwapped, 2 * testimages::kMiB), false,
                  tool::kExitSuccess, ""},
        CheckCase{"EmptyStandardInput",
                  "-",
                  std::nullopt,
                  0,
                  {},
                  false,
                  tool::kExitFailure,
                  "standard input is empty: there is nothing to check."},
        CheckCase{"StandardInputIsTheTerminal",
                  "-",
                  std::nullopt,
                  0,
                  {},
                  true,
                  tool::kExitUsage,
                  "check - reads the image from standard input, which is the terminal here: "
                  "redirect or pipe the image into it (reader-tool check - < game.z64). Try "
                  "'reader-tool check --help'."}),
    [](const auto& row) { return std::string(row.param.name); });

// Standard input has no size to refuse beforehand: it is held to the bound as it arrives.
TEST_F(ToolFixture, StandardInputBeyondTheBoundIsRefusedAsItArrives) {
    const tool::ToolStreams streams{[](std::string_view) { return tool::StreamWrite{}; },
                                    [](std::string_view) {},
                                    [](std::string_view) { return std::optional<std::string>(); }};
    tool::ToolContext context(streams, os, platform::ActiveHost());
    os.standardInput.assign(5000, 0x11);
    for (const std::uint64_t most : {std::uint64_t{5000}, std::uint64_t{4999}}) {
        os.inputAt = 0;
        const auto read = tool::ReadImageToCheck(context, "-", most);
        EXPECT_EQ(read ? "" : read.Error().message,
                  most == 5000 ? ""
                               : "standard input holds more than 4.8 KiB, more than any "
                                 "cartridge image: it is not a dump. Check what goes into it.");
    }
}

}  // namespace
}  // namespace reader::testing
