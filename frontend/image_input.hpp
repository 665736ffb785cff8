// An image to check, read from a file or from standard input ("-") and hashed as it is read: a
// file larger than any cartridge image is refused from its size before a byte of it is read,
// standard input is held to the same bound as it arrives, and an empty one is named as such.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "frontend/context.hpp"
#include "frontend/outcome.hpp"
#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"

namespace reader::tool {

// The digests of an image whose kind is known only at its end (check recognises it from its
// content), computed from the pieces as they arrive: the file as it is; for an image whose first
// word is an N64 marker its big-endian form too; and, for an image that may turn out to be an SFC
// image behind a copier header, its bytes after the first 512.
class InputHasher {
  public:
    // sizeHint: the size the whole image will have, when known, so that a form it cannot have is
    // not hashed.
    explicit InputHasher(std::optional<std::uint64_t> sizeHint = std::nullopt);

    // The next piece, in order, of any size (it is not changed).
    void Add(std::span<const std::uint8_t> piece);

    // After the last piece: the digests of the whole image, whose kind the caller recognised.
    rom::ImageDigests Finish(std::span<const std::uint8_t> image, rom::ImageKind kind);

  private:
    static constexpr std::size_t kWordSize = 4;

    void Decide();
    void Feed(std::span<const std::uint8_t> bytes);

    std::optional<std::uint64_t> sizeHint_;
    std::optional<rom::ImageHasher> n64_;         // once the first word showed an N64 marker
    std::array<std::uint8_t, kWordSize> head_{};  // the first word, gathered before deciding
    std::size_t headSize_ = 0;
    std::vector<std::uint8_t> scratch_;  // a piece for the N64 hasher, which works in place
    bool decided_ = false;
    bool afterCopier_ = false;  // whether the bytes after a copier header are hashed apart
    std::uint64_t taken_ = 0;
    rom::ImageHashesBuilder file_;
    rom::ImageHashesBuilder withoutCopier_;
};

struct InputImage {
    std::string name;  // the path, or "standard input"
    std::vector<std::uint8_t> bytes;
    rom::ImageKind kind = rom::ImageKind::Other;
    rom::ImageDigests digests;
};

// Reads the image at path ("-": standard input) for check, at most most bytes.
Expected<InputImage> ReadImageToCheck(ToolContext& context, const std::string& path,
                                      std::uint64_t most);

}  // namespace reader::tool
