// Hashes of a cartridge image computed as its bytes arrive.
//
// A dump reads the cartridge in chunks. Rather than read everything and hash it afterwards, the
// dump gives each chunk to an ImageHasher as it arrives: the hasher puts the chunk into the byte
// order wanted in the file (N64), hashes what is to be written, and hands back the bytes to write
// now. When the last chunk is in, it has the hashes of the file as written and of the form dump
// databases list (an N64 image big-endian), each computed once when the two are the same.
//
// For an image already whole (a file on disk), ComputeImageDigests gives the same digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "frontend/rom/rom_report.hpp"
#include "frontend/rom/sha1_compress.hpp"

namespace reader::rom {

using Sha1Digest = std::array<std::uint8_t, 20>;

// CRC-32 (zlib's), fed any number of times with any lengths.
class Crc32Hasher {
  public:
    void Update(std::span<const std::uint8_t> data);
    std::uint32_t Value() const { return crc_; }

  private:
    std::uint32_t crc_ = 0;
};

// SHA-1 (FIPS 180-4), fed any number of times with any lengths. Digest() may be asked at any
// point and leaves the hasher as it was, so more data can follow.
class Sha1Hasher {
  public:
    static constexpr std::size_t kBlockSize = 64;

    // With the fastest compression this processor runs (see sha1_compress.hpp), or the one given.
    Sha1Hasher();
    explicit Sha1Hasher(Sha1Compress compress);
    void Update(std::span<const std::uint8_t> data);
    Sha1Digest Digest() const;

  private:
    Sha1State state_;
    Sha1Compress compress_;
    std::array<std::uint8_t, kBlockSize> pending_{};  // the start of a block not yet complete
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;  // bytes taken in so far
};

// Size, CRC-32 and SHA-1 of one form of an image: what a dump database lists for a ROM.
struct ImageHashes {
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    Sha1Digest sha1{};
    friend bool operator==(const ImageHashes&, const ImageHashes&) = default;
};

// All three at once, fed any number of times.
class ImageHashesBuilder {
  public:
    void Update(std::span<const std::uint8_t> data);
    ImageHashes Result() const;

  private:
    std::uint64_t size_ = 0;
    Crc32Hasher crc_;
    Sha1Hasher sha1_;
};

ImageHashes HashImage(std::span<const std::uint8_t> image);

// The form in which dump databases list an image, when it is not the file as it stands.
enum class DatForm : std::uint8_t {
    AsIs,                 // the file itself
    BigEndian,            // an N64 image in another byte order, put into big-endian
    WithoutCopierHeader,  // an SFC image without the 512-byte header a copier put before it
};

// What the DAT matcher needs of an image: the hashes of the file and, when dump databases list it
// in another form, of that form.
struct ImageDigests {
    ImageHashes file;
    std::optional<ImageHashes> listed;  // absent when the listed form is the file itself
    DatForm listedForm = DatForm::AsIs;
    // The byte order of an N64 file, when its first word tells it.
    std::optional<N64ByteOrder> fileOrder;
};

// The digests of a whole image of the given kind: an N64 image in the byte order its first word
// shows (a trailing part-word stays as it is, as ConvertN64ByteOrder leaves it), an SFC image
// whose size shows a copier header (see SfcCopierHeaderSize), anything else as it is.
ImageDigests ComputeImageDigests(std::span<const std::uint8_t> image, ImageKind kind);

// What to write of one chunk, in this order: `held`, the bytes the hasher held back from earlier
// chunks (a word that this chunk completed, reordered), then `chunk`, a part of the chunk given
// (reordered in place). Each may be empty. `held` lives in the hasher and is valid until its next
// call.
struct ArrangedBytes {
    std::span<const std::uint8_t> held;
    std::span<const std::uint8_t> chunk;
    std::size_t size() const { return held.size() + chunk.size(); }
};

// Takes the chunks of an image in order, as the cartridge presented them: any sizes, a word may
// be split across chunks. For N64 images it reorders each chunk in place from the order the
// cartridge presented to the one wanted in the file; up to three bytes of a word whose end has
// not arrived are held back (and the head of the next chunk completes them), so the bytes handed
// back, written in turn, make the file. Hashes what it hands back (the file), and for an N64
// image the big-endian form too when the file is in another order.
//
//   ImageHasher hasher(std::nullopt, N64ByteOrder::BigEndian);
//   for each chunk read:  Write(hasher.Add(chunk));
//   Write(hasher.Finish());
//   ImageDigests digests = hasher.Digests();
class ImageHasher {
  public:
    // An image written as it arrives: SFC and the other systems (an SFC cartridge has no copier
    // header, so its file is the form dump databases list).
    ImageHasher();
    // An N64 image: `presented` is the order the cartridge presents its bytes in, or nothing to
    // take it from the image's first word; an image whose first word is no N64 marker is written
    // as presented and taken as big-endian, as the report reads it.
    ImageHasher(std::optional<N64ByteOrder> presented, N64ByteOrder wanted);

    ArrangedBytes Add(std::span<std::uint8_t> chunk);
    // After the last chunk: the bytes still held (the last part-word, as presented; or an image
    // shorter than a word). Chunks added afterwards are not taken: Add returns nothing for them.
    ArrangedBytes Finish();

    // The order the cartridge presented, once known (after the first four bytes, or Finish).
    std::optional<N64ByteOrder> Presented() const { return presented_; }
    // After Finish.
    ImageDigests Digests() const;

  private:
    void Decide(std::span<const std::uint8_t> firstWord);
    // Hashes whole words as presented, then reorders them in place and hashes them as written.
    void Take(std::span<std::uint8_t> words);
    void HashListed(std::span<const std::uint8_t> presented);

    bool n64_ = false;
    bool finished_ = false;
    bool decided_ = false;
    bool reorders_ = false;  // words are held together: some form needs them reordered
    bool listedApart_ = false;
    std::optional<N64ByteOrder> presented_;
    N64ByteOrder wanted_ = N64ByteOrder::BigEndian;
    std::array<std::uint8_t, 4> word_{};  // the start of a word whose end has not arrived
    std::size_t wordSize_ = 0;
    std::array<std::uint8_t, 4> completed_{};  // the last word completed, handed back as held
    ImageHashesBuilder file_;
    ImageHashesBuilder listed_;
};

}  // namespace reader::rom
