// DAT files: the lists of known good dumps that dump databases publish, and the answer to "is
// this a verified good dump, and of which game?".
//
// A DAT file is XML (the Logiqx format):
//
//   <datafile>
//     <header><name>Nintendo 64 (BigEndian)</name>...</header>
//     <game name="Some Game (Europe)">
//       <rom name="Some Game (Europe).z64" size="8388608" crc="0a1b2c3d" md5="..." sha1="..."/>
//     </game>
//     ...
//   </datafile>
//
// <game> and <machine> entries are read, each <rom> with its size, crc and sha1 (md5 is not
// needed; hexadecimal digits in either case). A <rom> without a size or CRC32 (or with one that
// is no number) is skipped and counted; one without SHA-1 can only be matched by CRC32. The DAT's
// name is header/name, else the file's name.
//
// Nothing here throws. A file that cannot be read, is malformed, cut short, nests deeper than a
// DAT file ever does, or is far larger than one, gives one line that names the file and, for
// the XML, the line and column where it broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/rom/hashes.hpp"
#include "frontend/rom/rom_report.hpp"

namespace reader::rom {

// The largest DAT file read: the DAT of one system holds a few MiB at most. A file of hundreds of
// MiB is no DAT of cartridge dumps, and reading it would take as much memory again.
inline constexpr std::uintmax_t kDatMaxFileSize = std::uintmax_t{64} << 20;
// How deep elements may nest: a DAT file nests three deep (datafile, game, rom). The XML parser
// descends into each element by recursion, so a hostile file nested thousands deep would
// exhaust the stack; such a file is refused before it is parsed.
inline constexpr std::size_t kDatMaxNesting = 32;

// One DAT file's part of the index.
struct DatFileInfo {
    std::string name;         // header/name, else the file's name
    std::string fileName;     // as given, for messages
    std::size_t entries = 0;  // ROM entries indexed
    std::size_t skipped = 0;  // ROM entries without a usable size or CRC32
};

enum class DatVerdict : std::uint8_t {
    Verified,     // size, CRC32 and SHA-1 match an entry
    Sha1Differs,  // the CRC32 matches an entry but the SHA-1 does not: a bad or altered dump
    NoSha1,       // size and CRC32 match an entry that lists no SHA-1 to confirm it
    NotFound,
};

// A path as the user reads it in a message (UTF-8 on every system).
std::string PathText(const std::filesystem::path& path);

struct DatMatch {
    DatVerdict verdict = DatVerdict::NotFound;
    std::string game;     // the entry's game (all but NotFound)
    std::string datName;  // the DAT file it is listed in
    // The form of the image that matched (AsIs, or the big-endian form of an N64 image, or an
    // SFC image without its copier header) and the file's byte order, for the note.
    DatForm form = DatForm::AsIs;
    std::optional<N64ByteOrder> fileOrder;
    // What was searched (NotFound).
    std::size_t datFiles = 0;
    std::size_t entries = 0;
};

// The report line, ending in '\n':
//   DAT: verified, <game> (<DAT name>)
//   DAT: CRC32 matches <game> (<DAT name>) but SHA-1 differs: not a verified dump
//   DAT: CRC32 and size match <game> (<DAT name>), which lists no SHA-1: not a verified dump
//   DAT: not found in <N> DAT files (<M> entries)
// with, when a form other than the file matched, ", matched in its big-endian form (the file is
// byte-swapped)" or ", matched without its 512-byte copier header" appended.
std::string DatReportLine(const DatMatch& match);

// Every DAT file given in a run, indexed by SHA-1 and by CRC32.
class DatIndex {
  public:
    // Reads one DAT file into the index. On failure returns false, sets `error` to one line that
    // names the file and says what is wrong, and leaves the index as it was. Files larger than
    // `maxSize` are refused before they are read.
    bool AddFile(const std::filesystem::path& path, std::string& error,
                 std::uintmax_t maxSize = kDatMaxFileSize);
    // The same for a DAT file's text already in memory; `fileName` names it in messages and is
    // its name when its header gives none.
    bool AddText(std::string_view text, std::string_view fileName, std::string& error);

    const std::vector<DatFileInfo>& Files() const { return files_; }
    std::size_t EntryCount() const { return entries_.size(); }

    // The best answer for an image: a verified entry of the form dump databases list, else of the
    // file as it is; else a CRC32 match; else not found.
    DatMatch Match(const ImageDigests& digests) const;

  private:
    struct Entry {
        std::uint64_t size;
        std::uint32_t crc32;
        bool hasSha1;
        Sha1Digest sha1;
        std::uint32_t game;  // in games_
        std::uint32_t file;  // in files_
    };
    struct Found {
        DatVerdict verdict;
        const Entry* entry;
    };
    std::optional<Found> Find(const ImageHashes& hashes) const;

    std::vector<Entry> entries_;
    std::vector<std::string> games_;
    std::vector<DatFileInfo> files_;
    std::vector<std::uint32_t> byCrc_;   // entry numbers sorted by CRC32
    std::vector<std::uint32_t> bySha1_;  // entry numbers of the entries with a SHA-1, by it
};

// How deep the elements of an XML text nest, as the parser descends into them: the deepest
// nesting up to where the parser would stop (the end, a NUL byte, or a syntax error), and the
// offset of the first element that goes deeper than `limit`, if any.
struct XmlNesting {
    std::size_t deepest = 0;
    std::optional<std::size_t> tooDeepAt;
};
XmlNesting MeasureXmlNesting(std::string_view text, std::size_t limit);

}  // namespace reader::rom
