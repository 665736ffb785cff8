#include "update/release_data.hpp"

#include <algorithm>

#include "link/crc16.hpp"

namespace reader {
namespace {

// The stored image, as the build made it from update/release/firmware-315.bin.
constexpr std::uint8_t kStoredImage[] = {
#include "firmware_image.inc"
};
static_assert(sizeof(kStoredImage) == kFirmwareImageSize);

// The image opens with the identity that the new firmware presents, NUL-padded to 16 bytes.
static_assert([] {
    for (std::size_t i = 0; i < kReleaseIdentitySize; ++i) {
        const char expected = i < kReleaseIdentity.size() ? kReleaseIdentity[i] : '\0';
        if (kStoredImage[i] != static_cast<std::uint8_t>(expected)) {
            return false;
        }
    }
    return true;
}());

constexpr std::array<std::uint16_t, kFlashBlockCount> kBlockChecksums = {
#include "update/release/block_checksums.inc"
};

// Neither value may pass for a correct block: a checksum reply that could not be read is 0, and an
// erased block (every byte 0xFF) has the checksum 0xC084.
constexpr bool NoForbiddenChecksum() {
    return std::none_of(kBlockChecksums.begin(), kBlockChecksums.end(), [](std::uint16_t value) {
        return value == kUnreadBlockChecksum || value == kErasedBlockChecksum;
    });
}
static_assert(NoForbiddenChecksum());
static_assert([] {
    std::array<std::uint8_t, kFlashBlockSize> erased{};
    erased.fill(0xFF);
    return link::Crc16Xmodem(erased) == kErasedBlockChecksum;
}());

}  // namespace

constinit std::array<std::uint8_t, kFirmwareImageSize> FirmwareImage = [] {
    std::array<std::uint8_t, kFirmwareImageSize> image{};
    std::copy(std::begin(kStoredImage), std::end(kStoredImage), image.begin());
    return image;
}();

const std::array<std::uint16_t, kFlashBlockCount> BlockChecksumTable = kBlockChecksums;

std::span<const std::uint8_t, kFirmwareImageSize> StoredFirmwareImage() {
    return std::span<const std::uint8_t, kFirmwareImageSize>(kStoredImage);
}

}  // namespace reader
