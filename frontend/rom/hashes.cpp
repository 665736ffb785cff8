// CRC-32 from zlib; SHA-1 written here (the Secure Hash Standard, FIPS 180-4), because the only
// SHA-1 that Debian packages for MinGW-w64 comes with a licence that does not suit a statically
// linked program. Both are incremental; the image hasher builds on them.
#include "frontend/rom/hashes.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "frontend/rom/sfc_header.hpp"
#include "frontend/rom/sha1_compress.hpp"
#include "link/bytes.hpp"

namespace reader::rom {
namespace {

// zlib counts lengths in its own unsigned int: feed it at most 1 GiB at a time.
constexpr std::size_t kCrcChunk = std::size_t{1} << 30;

constexpr std::size_t kSha1BlockSize = 64;
constexpr std::size_t kSha1LengthSize = 8;  // the message length in bits, big-endian, at the end
constexpr std::uint8_t kSha1PadByte = 0x80;
constexpr std::array<std::uint32_t, 5> kSha1Initial{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                                    0xC3D2E1F0};
constexpr std::array<std::uint32_t, 4> kSha1RoundConstants{0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC,
                                                           0xCA62C1D6};

// One 64-byte block into the state.
void Sha1Block(std::array<std::uint32_t, 5>& state, std::span<const std::uint8_t> block) {
    std::array<std::uint32_t, 80> schedule{};
    for (std::size_t t = 0; t < 16; ++t) {
        schedule[t] = link::GetBe32(block, 4 * t);
    }
#pragma GCC unroll 64
    for (std::size_t t = 16; t < schedule.size(); ++t) {
        schedule[t] =
            std::rotl(schedule[t - 3] ^ schedule[t - 8] ^ schedule[t - 14] ^ schedule[t - 16], 1);
    }
    std::uint32_t a = state[0];
    std::uint32_t b = state[1];
    std::uint32_t c = state[2];
    std::uint32_t d = state[3];
    std::uint32_t e = state[4];
    const auto step = [&](std::uint32_t f, std::uint32_t constant, std::uint32_t word) {
        const std::uint32_t next = std::rotl(a, 5) + f + e + constant + word;
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = next;
    };
    // Four rounds of twenty steps, each with its own function of b, c and d.
#pragma GCC unroll 20
    for (std::size_t t = 0; t < 20; ++t) {
        step(d ^ (b & (c ^ d)), kSha1RoundConstants[0], schedule[t]);  // choose: c where b, else d
    }
#pragma GCC unroll 20
    for (std::size_t t = 20; t < 40; ++t) {
        step(b ^ c ^ d, kSha1RoundConstants[1], schedule[t]);  // parity
    }
#pragma GCC unroll 20
    for (std::size_t t = 40; t < 60; ++t) {
        step((b & c) | (d & (b | c)), kSha1RoundConstants[2], schedule[t]);  // majority
    }
#pragma GCC unroll 20
    for (std::size_t t = 60; t < 80; ++t) {
        step(b ^ c ^ d, kSha1RoundConstants[3], schedule[t]);  // parity
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

// An N64 image is reordered through a buffer of this size when the form dump databases list
// differs from both the presented and the written bytes.
constexpr std::size_t kReorderPiece = 4096;
constexpr std::size_t kWordSize = 4;

}  // namespace

void Crc32Hasher::Update(std::span<const std::uint8_t> data) {
    uLong crc = crc_;
    while (!data.empty()) {
        const std::size_t chunk = std::min(data.size(), kCrcChunk);
        crc = crc32(crc, data.data(), static_cast<uInt>(chunk));
        data = data.subspan(chunk);
    }
    crc_ = static_cast<std::uint32_t>(crc);
}

void Sha1CompressPortable(Sha1State& state, std::span<const std::uint8_t> blocks) {
    for (std::size_t at = 0; at + kSha1BlockSize <= blocks.size(); at += kSha1BlockSize) {
        Sha1Block(state, blocks.subspan(at, kSha1BlockSize));
    }
}

Sha1Compress Sha1CompressFastest() {
    static const Sha1Compress fastest = [] {
        const Sha1Compress accelerated = Sha1CompressAccelerated();
        return accelerated != nullptr ? accelerated : Sha1CompressPortable;
    }();
    return fastest;
}

Sha1Hasher::Sha1Hasher() : Sha1Hasher(Sha1CompressFastest()) {}

Sha1Hasher::Sha1Hasher(Sha1Compress compress) : state_(kSha1Initial), compress_(compress) {}

void Sha1Hasher::Update(std::span<const std::uint8_t> data) {
    length_ += data.size();
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(data.size(), kBlockSize - pendingSize_);
        std::copy_n(data.begin(), take,
                    pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_));
        pendingSize_ += take;
        data = data.subspan(take);
        if (pendingSize_ < kBlockSize) {
            return;
        }
        compress_(state_, pending_);
        pendingSize_ = 0;
    }
    const std::size_t whole = data.size() - data.size() % kBlockSize;
    compress_(state_, data.first(whole));
    const auto rest = data.subspan(whole);
    std::copy(rest.begin(), rest.end(), pending_.begin());
    pendingSize_ = rest.size();
}

Sha1Digest Sha1Hasher::Digest() const {
    std::array<std::uint32_t, 5> state = state_;
    // The rest, the pad byte, zeros, and the length: one more block, or two when the rest leaves
    // no room for the pad byte and the length.
    std::array<std::uint8_t, 2 * kSha1BlockSize> tail{};
    std::copy_n(pending_.begin(), pendingSize_, tail.begin());
    tail[pendingSize_] = kSha1PadByte;
    const std::size_t tailSize =
        pendingSize_ + 1 + kSha1LengthSize <= kSha1BlockSize ? kSha1BlockSize : 2 * kSha1BlockSize;
    const std::uint64_t bits = length_ * 8;
    for (std::size_t i = 0; i < kSha1LengthSize; ++i) {
        tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    compress_(state, std::span<const std::uint8_t>(tail).first(tailSize));

    Sha1Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    }
    return digest;
}

void ImageHashesBuilder::Update(std::span<const std::uint8_t> data) {
    size_ += data.size();
    crc_.Update(data);
    sha1_.Update(data);
}

ImageHashes ImageHashesBuilder::Result() const {
    return {size_, crc_.Value(), sha1_.Digest()};
}

ImageHashes HashImage(std::span<const std::uint8_t> image) {
    ImageHashesBuilder builder;
    builder.Update(image);
    return builder.Result();
}

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
    Crc32Hasher hasher;
    hasher.Update(data);
    return hasher.Value();
}

std::array<std::uint8_t, 20> Sha1(std::span<const std::uint8_t> data) {
    Sha1Hasher hasher;
    hasher.Update(data);
    return hasher.Digest();
}

ImageDigests ComputeImageDigests(std::span<const std::uint8_t> image, ImageKind kind) {
    ImageDigests digests;
    digests.file = HashImage(image);
    if (kind == ImageKind::Sfc) {
        const std::size_t copier = SfcCopierHeaderSize(image.size());
        if (copier != 0) {
            digests.listed = HashImage(image.subspan(copier));
            digests.listedForm = DatForm::WithoutCopierHeader;
        }
        return digests;
    }
    if (kind != ImageKind::N64) {
        return digests;
    }
    digests.fileOrder = DetectN64ByteOrder(image);
    if (!digests.fileOrder || *digests.fileOrder == N64ByteOrder::BigEndian) {
        return digests;
    }
    // The big-endian form through a small buffer: whole words reordered, the part-word as is.
    ImageHashesBuilder bigEndian;
    std::array<std::uint8_t, kReorderPiece> piece{};
    const std::size_t words = image.size() - image.size() % kWordSize;
    for (std::size_t at = 0; at < words; at += piece.size()) {
        const std::size_t length = std::min(piece.size(), words - at);
        const auto part = std::span(piece).first(length);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at), length, part.begin());
        ConvertN64ByteOrder(part, *digests.fileOrder, N64ByteOrder::BigEndian);
        bigEndian.Update(part);
    }
    bigEndian.Update(image.subspan(words));
    digests.listed = bigEndian.Result();
    digests.listedForm = DatForm::BigEndian;
    return digests;
}

ImageHasher::ImageHasher() : decided_(true) {}

ImageHasher::ImageHasher(std::optional<N64ByteOrder> presented, N64ByteOrder wanted)
    : n64_(true), wanted_(wanted) {
    if (presented) {
        presented_ = presented;
        Decide({});
    }
}

// Settles how the image is handled, from the order given or from the first word.
void ImageHasher::Decide(std::span<const std::uint8_t> firstWord) {
    if (!presented_ && firstWord.size() >= kWordSize) {
        presented_ = DetectN64ByteOrder(firstWord);
    }
    decided_ = true;
    if (!presented_) {
        return;  // no N64 marker: written as presented, read as big-endian
    }
    // Nothing to reorder only when the cartridge presents big-endian and big-endian is wanted.
    reorders_ = *presented_ != N64ByteOrder::BigEndian || wanted_ != N64ByteOrder::BigEndian;
    listedApart_ = wanted_ != N64ByteOrder::BigEndian;
}

void ImageHasher::HashListed(std::span<const std::uint8_t> presented) {
    if (!listedApart_) {
        return;
    }
    if (*presented_ == N64ByteOrder::BigEndian) {
        listed_.Update(presented);
        return;
    }
    std::array<std::uint8_t, kReorderPiece> piece{};
    for (std::size_t at = 0; at < presented.size(); at += piece.size()) {
        const std::size_t length = std::min(piece.size(), presented.size() - at);
        const auto part = std::span(piece).first(length);
        std::copy_n(presented.begin() + static_cast<std::ptrdiff_t>(at), length, part.begin());
        ConvertN64ByteOrder(part, *presented_, N64ByteOrder::BigEndian);
        listed_.Update(part);
    }
}

void ImageHasher::Take(std::span<std::uint8_t> words) {
    HashListed(words);
    ConvertN64ByteOrder(words, *presented_, wanted_);
    file_.Update(words);
}

ArrangedBytes ImageHasher::Add(std::span<std::uint8_t> chunk) {
    if (finished_) {
        return {};  // the image ended with Finish: nothing more belongs to it
    }
    if (!decided_ && wordSize_ == 0 && chunk.size() >= kWordSize) {
        Decide(chunk.first(kWordSize));
    }
    if (!reorders_ && decided_ && wordSize_ == 0) {
        HashListed(chunk);
        file_.Update(chunk);
        return {{}, chunk};
    }

    // Complete the word held back, if any (before the first word is known, everything is).
    ArrangedBytes out;
    if (wordSize_ > 0 || !decided_) {
        const std::size_t take = std::min(chunk.size(), kWordSize - wordSize_);
        std::copy_n(chunk.begin(), take, word_.begin() + static_cast<std::ptrdiff_t>(wordSize_));
        wordSize_ += take;
        chunk = chunk.subspan(take);
        if (wordSize_ < kWordSize) {
            return out;
        }
        if (!decided_) {
            Decide(word_);
        }
        wordSize_ = 0;
        completed_ = word_;
        if (reorders_) {
            Take(completed_);
        } else {
            HashListed(completed_);
            file_.Update(completed_);
        }
        out.held = completed_;
        if (!reorders_) {
            HashListed(chunk);
            file_.Update(chunk);
            out.chunk = chunk;
            return out;
        }
    }

    const std::size_t whole = chunk.size() - chunk.size() % kWordSize;
    Take(chunk.first(whole));
    const auto rest = chunk.subspan(whole);
    std::copy(rest.begin(), rest.end(), word_.begin());
    wordSize_ = rest.size();
    out.chunk = chunk.first(whole);
    return out;
}

ArrangedBytes ImageHasher::Finish() {
    if (finished_) {
        return {};
    }
    finished_ = true;
    const auto rest = std::span<const std::uint8_t>(word_).first(wordSize_);
    if (!decided_) {
        decided_ = true;  // shorter than a word: no order to tell, nothing to reorder
    }
    if (presented_) {
        HashListed(rest);  // a part-word is never reordered
    }
    file_.Update(rest);
    wordSize_ = 0;
    return {rest, {}};
}

ImageDigests ImageHasher::Digests() const {
    ImageDigests digests;
    digests.file = file_.Result();
    if (n64_ && presented_) {
        digests.fileOrder = wanted_;
        if (listedApart_) {
            digests.listed = listed_.Result();
            digests.listedForm = DatForm::BigEndian;
        }
    }
    return digests;
}

}  // namespace reader::rom
