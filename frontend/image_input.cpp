#include "frontend/image_input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "frontend/commands.hpp"
#include "frontend/rom/sfc_header.hpp"
#include "text/text.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

// Pieces of this size are read and hashed in turn.
constexpr std::size_t kInputPiece = std::size_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string TooLarge(const std::string& name, std::string_view holds, bool standardInput) {
    return name + " holds " + std::string(holds) +
           ", more than any cartridge image: it is not a dump. " +
           (standardInput ? "Check what goes into it." : "Check the name.");
}

}  // namespace

InputHasher::InputHasher(std::optional<std::uint64_t> sizeHint) : sizeHint_(sizeHint) {}

void InputHasher::Add(std::span<const std::uint8_t> piece) {
    if (!decided_) {
        const std::size_t take = std::min(piece.size(), kWordSize - headSize_);
        std::copy_n(piece.begin(), take, head_.begin() + static_cast<std::ptrdiff_t>(headSize_));
        headSize_ += take;
        piece = piece.subspan(take);
        if (headSize_ < kWordSize) {
            return;
        }
        Decide();
    }
    Feed(piece);
}

// The first word (or what there is of it) settles which forms are hashed.
void InputHasher::Decide() {
    decided_ = true;
    const auto head = std::span<const std::uint8_t>(head_).first(headSize_);
    if (const auto order = rom::DetectN64ByteOrder(head)) {
        // Written as it is (the order wanted is the one the file has); the hasher adds the
        // big-endian form when that differs.
        n64_.emplace(*order, *order);
    } else {
        // A hint beyond what memory holds is no image (check refuses it first); were it cut
        // short here, Finish would hash the form it needs afresh.
        afterCopier_ =
            !sizeHint_ || rom::SfcCopierHeaderSize(static_cast<std::size_t>(*sizeHint_)) != 0;
    }
    Feed(head);
}

void InputHasher::Feed(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    if (n64_) {
        // The hasher reorders in place what it hashes; with the file's own order wanted it
        // changes nothing, but it takes its bytes as writable memory.
        scratch_.assign(bytes.begin(), bytes.end());
        (void)n64_->Add(scratch_);
        return;
    }
    file_.Update(bytes);
    if (afterCopier_) {
        const std::uint64_t skip =
            taken_ < rom::kSfcCopierHeaderSize ? rom::kSfcCopierHeaderSize - taken_ : 0;
        if (skip < bytes.size()) {
            withoutCopier_.Update(bytes.subspan(static_cast<std::size_t>(skip)));
        }
    }
    taken_ += bytes.size();
}

rom::ImageDigests InputHasher::Finish(std::span<const std::uint8_t> image, rom::ImageKind kind) {
    if (!decided_) {
        Decide();  // an image shorter than a word
    }
    if (n64_) {
        (void)n64_->Finish();
        if (kind == rom::ImageKind::N64) {
            return n64_->Digests();
        }
        return rom::ComputeImageDigests(image, kind);  // recognised otherwise: hashed afresh
    }
    if (kind == rom::ImageKind::N64) {
        return rom::ComputeImageDigests(image, kind);
    }
    rom::ImageDigests digests;
    digests.file = file_.Result();
    if (kind == rom::ImageKind::Sfc && rom::SfcCopierHeaderSize(image.size()) != 0) {
        digests.listed = afterCopier_ ? withoutCopier_.Result()
                                      : rom::HashImage(image.subspan(rom::kSfcCopierHeaderSize));
        digests.listedForm = rom::DatForm::WithoutCopierHeader;
    }
    return digests;
}

Expected<InputImage> ReadImageToCheck(ToolContext& context, const std::string& path,
                                      std::uint64_t most) {
    const bool standardInput = path == "-";
    InputImage input;
    input.name = standardInput ? std::string("standard input") : path;
    std::unique_ptr<std::FILE, FileCloser> file;
    std::optional<std::uint64_t> size;
    if (standardInput) {
        if (context.Os().InputIsTerminal()) {
            return UsageError(
                "check - reads the image from standard input, which is the terminal here: "
                "redirect or pipe the image into it (reader-tool check - < game.z64)",
                &kCheckCommand);
        }
    } else {
        // A folder, or a file in a folder that does not exist, is named as such.
        if (auto problem = InputPathProblem(path)) {
            return Failure(std::move(*problem));
        }
        // The size first: a file larger than any image is refused before it is read.
        std::error_code error;
        const auto status = fs::status(path, error);
        if (fs::is_regular_file(status)) {
            const std::uint64_t bytes = fs::file_size(path, error);
            if (!error) {
                size = bytes;
                if (bytes > most) {
                    return Failure(TooLarge(path, text::SizeText(bytes), false));
                }
            }
        }
        errno = 0;
        file.reset(std::fopen(path.c_str(), "rb"));
        if (!file) {
            return Failure("cannot open " + path + ": " + std::strerror(errno) +
                           ". Check the name and that the file is readable.");
        }
    }

    InputHasher hasher(size);
    if (size) {
        input.bytes.reserve(static_cast<std::size_t>(*size) + kInputPiece);
    }
    while (true) {
        const std::size_t before = input.bytes.size();
        input.bytes.resize(before + kInputPiece);
        const auto piece = std::span(input.bytes).subspan(before);
        std::size_t got = 0;
        if (standardInput) {
            std::string reason;
            const auto read = context.Os().ReadInput(piece, reason);
            if (!read) {
                if (const auto signal = context.Os().Interruption()) {
                    return InterruptedBy(*signal, " while reading standard input.");
                }
                return Failure("reading standard input failed: " + reason + ".");
            }
            got = *read;
        } else {
            got = std::fread(piece.data(), 1, piece.size(), file.get());
            if (got < piece.size() && std::ferror(file.get()) != 0) {
                return Failure("reading " + path + " failed: " + std::strerror(errno) + ".");
            }
        }
        input.bytes.resize(before + got);
        if (input.bytes.size() > most) {
            return Failure(
                TooLarge(input.name, "more than " + text::SizeText(most), standardInput));
        }
        hasher.Add(piece.first(got));
        if (const auto signal = context.Os().Interruption()) {
            return InterruptedBy(*signal, " while reading " + input.name + ".");
        }
        if (got == 0) {
            break;
        }
    }
    if (input.bytes.empty()) {
        return Failure(input.name + " is empty: there is nothing to check.");
    }
    input.kind = rom::RecogniseImage(input.bytes);
    input.digests = hasher.Finish(input.bytes, input.kind);
    return input;
}

}  // namespace reader::tool
