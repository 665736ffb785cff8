// The cartridge side of the emulated reader.
#include "emulator/reader_model.hpp"

namespace reader::emulator {

ReaderModel::Outcome ReaderModel::ExecuteCartridge(
    std::span<const std::uint8_t, kModelSectorSize> /*sector*/, std::string& line) {
    line += "unknown";
    return Outcome::Ignored;
}

std::uint64_t ReaderModel::DataFileSize() const {
    return 0;
}

std::uint32_t ReaderModel::ReadDataFile(std::uint64_t /*offset*/,
                                        std::span<std::uint8_t> /*out*/) const {
    return 0;
}

}  // namespace reader::emulator
