#include "frontend/rom/dat.hpp"

#include <rapidxml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <system_error>
#include <tuple>

#include "frontend/rom/sfc_header.hpp"
#include "text/text.hpp"

namespace reader::rom {
namespace {

// rapidxml reads in place (it expands entities and ends names with NULs in its buffer) and, with
// this flag, checks that each closing tag names the element it closes.
constexpr int kParseFlags = rapidxml::parse_validate_closing_tags;

constexpr std::string_view kDatElementHeader = "header";
constexpr std::string_view kDatElementName = "name";
constexpr std::array<std::string_view, 2> kDatElementEntries{"game", "machine"};
constexpr std::string_view kDatElementRom = "rom";
constexpr std::string_view kDatAttributeName = "name";
constexpr std::string_view kDatAttributeSize = "size";
constexpr std::string_view kDatAttributeCrc = "crc";
constexpr std::string_view kDatAttributeSha1 = "sha1";

constexpr std::size_t kCrc32Digits = 8;
constexpr std::size_t kSha1Digits = 2 * std::tuple_size_v<Sha1Digest>;
// Names from a DAT file go into a one-line report: longer ones are cut.
constexpr std::size_t kMaxNameBytes = 200;
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// ---- the nesting check, before rapidxml sees the text ----
//
// It follows rapidxml's grammar (rapidxml.hpp: parse_node, parse_element, parse_node_contents
// and what they skip), so it finds exactly the elements rapidxml would descend into. Wherever
// rapidxml would throw, it stops: rapidxml descends no further than that either.

constexpr bool IsXmlSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Element names: anything but white space, '/', '>', '?' and NUL.
constexpr bool IsNameChar(char c) {
    return !IsXmlSpace(c) && c != '/' && c != '>' && c != '?' && c != '\0';
}

// Attribute names: anything but white space, '/', '<', '>', '=', '?', '!' and NUL.
constexpr bool IsAttributeNameChar(char c) {
    return !IsXmlSpace(c) && c != '/' && c != '<' && c != '>' && c != '=' && c != '?' && c != '!' &&
           c != '\0';
}

class NestingScanner {
  public:
    // The parser sees the text up to its first NUL byte only.
    NestingScanner(std::string_view text, std::size_t limit)
        : text_(text.substr(0, text.find('\0'))), limit_(limit) {}

    XmlNesting Run() {
        while (!AtEnd()) {
            if (Peek() != '<') {
                ++at_;  // text between the nodes
                continue;
            }
            const std::size_t start = at_;
            if (!Node(start)) {
                break;
            }
            if (result_.tooDeepAt) {
                break;
            }
        }
        return result_;
    }

  private:
    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek(std::size_t ahead = 0) const {
        return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
    }
    bool StartsWith(std::string_view what) const { return text_.substr(at_).starts_with(what); }
    // Moves past the next `what`; false (at the end) when there is none.
    bool SkipPast(std::string_view what) {
        const std::size_t found = text_.find(what, at_);
        if (found == std::string_view::npos) {
            at_ = text_.size();
            return false;
        }
        at_ = found + what.size();
        return true;
    }
    void SkipSpace() {
        while (!AtEnd() && IsXmlSpace(Peek())) {
            ++at_;
        }
    }

    // At '<': one node. False where rapidxml would stop.
    bool Node(std::size_t start) {
        if (Peek(1) == '/') {  // a closing tag
            depth_ = depth_ > 0 ? depth_ - 1 : 0;
            at_ += 2;
            return SkipPast(">");
        }
        if (Peek(1) == '?') {  // declaration or processing instruction
            at_ += 2;
            return SkipPast("?>");
        }
        if (Peek(1) == '!') {
            if (StartsWith("<!--")) {
                at_ += 4;
                return SkipPast("-->");
            }
            if (StartsWith("<![CDATA[")) {
                at_ += 9;
                return SkipPast("]]>");
            }
            if (StartsWith("<!DOCTYPE") && IsXmlSpace(Peek(9))) {
                at_ += 10;
                return Doctype();
            }
            at_ += 2;
            return SkipPast(">");
        }
        return Element(start);
    }

    bool Doctype() {
        while (!AtEnd() && Peek() != '>') {
            if (Peek() != '[') {
                ++at_;
                continue;
            }
            ++at_;
            for (std::size_t brackets = 1; brackets > 0; ++at_) {
                if (AtEnd()) {
                    return false;
                }
                if (Peek() == '[') {
                    ++brackets;
                } else if (Peek() == ']') {
                    --brackets;
                }
            }
        }
        if (AtEnd()) {
            return false;
        }
        ++at_;
        return true;
    }

    bool Element(std::size_t start) {
        ++at_;
        const std::size_t name = at_;
        while (!AtEnd() && IsNameChar(Peek())) {
            ++at_;
        }
        if (at_ == name) {
            return false;
        }
        SkipSpace();
        while (!AtEnd() && IsAttributeNameChar(Peek())) {
            while (!AtEnd() && IsAttributeNameChar(Peek())) {
                ++at_;
            }
            SkipSpace();
            if (Peek() != '=') {
                return false;
            }
            ++at_;
            SkipSpace();
            const char quote = Peek();
            if (quote != '"' && quote != '\'') {
                return false;
            }
            ++at_;
            if (!SkipPast(std::string_view(&quote, 1))) {
                return false;
            }
            SkipSpace();
        }
        // An element that closes itself is one level deeper too, though nothing is inside.
        const bool closed = Peek() == '/' && Peek(1) == '>';
        if (!closed && Peek() != '>') {
            return false;
        }
        at_ += closed ? 2 : 1;
        result_.deepest = std::max(result_.deepest, depth_ + 1);
        if (depth_ + 1 > limit_) {
            result_.tooDeepAt = start;
        }
        if (!closed) {
            ++depth_;
        }
        return true;
    }

    std::string_view text_;
    std::size_t limit_;
    std::size_t at_ = 0;
    std::size_t depth_ = 0;
    XmlNesting result_;
};

// ---- messages ----

// "line 12, column 5" of a byte offset; columns count characters (UTF-8 sequences as one, a
// byte order mark as none), as an editor shows them.
std::string Where(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    const std::size_t start =
        text.starts_with(kUtf8ByteOrderMark) && offset >= kUtf8ByteOrderMark.size()
            ? kUtf8ByteOrderMark.size()
            : 0;
    for (const char c : text.substr(start, offset - start)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0u) != 0x80u) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// A name fit for a one-line report: control characters become spaces, and a very long name is
// cut (at a character boundary) and ends in "...".
std::string ReportText(std::string_view name) {
    std::string text;
    const std::size_t length = std::min(name.size(), kMaxNameBytes);
    std::size_t keep = length;
    if (length < name.size()) {
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0u) == 0x80u) {
            --keep;
        }
    }
    for (const char c : name.substr(0, keep)) {
        const auto byte = static_cast<unsigned char>(c);
        text.push_back(byte < 0x20u || byte == 0x7Fu ? ' ' : c);
    }
    if (keep < name.size()) {
        text += "...";
    }
    return text;
}

// ---- attribute values ----

std::string_view Value(const rapidxml::xml_attribute<char>* attribute) {
    return attribute ? std::string_view(attribute->value(), attribute->value_size())
                     : std::string_view();
}

std::string_view NameOf(const rapidxml::xml_base<char>& node) {
    return {node.name(), node.name_size()};
}

std::string_view ValueOf(const rapidxml::xml_base<char>& node) {
    return {node.value(), node.value_size()};
}

const rapidxml::xml_attribute<char>* Attribute(const rapidxml::xml_node<char>& node,
                                               std::string_view name) {
    return node.first_attribute(name.data(), name.size());
}

const rapidxml::xml_node<char>* Child(const rapidxml::xml_node<char>& node, std::string_view name) {
    return node.first_node(name.data(), name.size());
}

std::optional<std::uint64_t> ParseSize(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint32_t> ParseCrc(std::string_view text) {
    std::uint32_t value = 0;
    if (text.empty() || text.size() > kCrc32Digits) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<Sha1Digest> ParseSha1(std::string_view text) {
    if (text.size() != kSha1Digits) {
        return std::nullopt;
    }
    Sha1Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const char* pair = text.data() + 2 * i;
        const auto [end, error] = std::from_chars(pair, pair + 2, digest[i], 16);
        if (error != std::errc() || end != pair + 2) {
            return std::nullopt;
        }
    }
    return digest;
}

bool IsEntryElement(std::string_view name) {
    return std::find(kDatElementEntries.begin(), kDatElementEntries.end(), name) !=
           kDatElementEntries.end();
}

std::string FileNameOf(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return {name.begin(), name.end()};
}

std::string Plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + ' ' + std::string(count == 1 ? one : many);
}

}  // namespace

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

XmlNesting MeasureXmlNesting(std::string_view text, std::size_t limit) {
    return NestingScanner(text, limit).Run();
}

bool DatIndex::AddFile(const std::filesystem::path& path, std::string& error,
                       std::uintmax_t maxSize) {
    const std::string shown = PathText(path);
    try {
        std::error_code code;
        const auto status = std::filesystem::status(path, code);
        if (code) {
            error = shown + ": cannot read it (" + code.message() +
                    "). Check the name and that the file can be read.";
            return false;
        }
        if (std::filesystem::is_directory(status)) {
            error = shown + " is a folder. Give a DAT file.";
            return false;
        }
        const std::uintmax_t size = std::filesystem::file_size(path, code);
        if (code) {
            error = shown + ": cannot read it (" + code.message() +
                    "). Check the name and that the file can be read.";
            return false;
        }
        if (size > maxSize) {
            error = shown + ": " + text::ByteCountText(size) +
                    ", larger than any DAT file of cartridge dumps (at most " +
                    text::SizeText(maxSize) +
                    " are read). Give the DAT file of the system you dump.";
            return false;
        }
        std::ifstream in(path, std::ios::binary);
        std::string text;
        if (in) {
            // A file that has grown since its size was asked is read on, to just past the
            // limit, so that it is still refused.
            text.resize(static_cast<std::size_t>(size));
            in.read(text.data(), static_cast<std::streamsize>(text.size()));
            text.resize(static_cast<std::size_t>(in.gcount()));
            std::array<char, 4096> more{};
            while (in && text.size() <= maxSize) {
                in.read(more.data(), static_cast<std::streamsize>(more.size()));
                text.append(more.data(), static_cast<std::size_t>(in.gcount()));
            }
        }
        if (!in && !in.eof()) {
            error = shown + ": cannot read it. Check that the file can be read.";
            return false;
        }
        if (text.size() > maxSize) {
            error = shown + ": larger than any DAT file of cartridge dumps (at most " +
                    text::SizeText(maxSize) +
                    " are read). Give the DAT file of the system you dump.";
            return false;
        }
        return AddText(text, shown, error);
    } catch (const std::bad_alloc&) {
        error = shown + ": not enough memory to read it.";
    } catch (const std::exception& failure) {
        error = shown + ": cannot read it (" + failure.what() + ").";
    }
    return false;
}

bool DatIndex::AddText(std::string_view text, std::string_view fileName, std::string& error) {
    const std::string shown(fileName);
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        error = shown + ": the file is empty, not a DAT file. Get the DAT file again.";
        return false;
    }
    const XmlNesting nesting = MeasureXmlNesting(text, kDatMaxNesting);
    if (nesting.tooDeepAt) {
        error = shown + ": not a DAT file: its elements nest more than " +
                std::to_string(kDatMaxNesting) + " deep at " + Where(text, *nesting.tooDeepAt) +
                " (a DAT file nests 3 deep).";
        return false;
    }

    try {
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back('\0');
        // The document holds a 64 KiB memory pool of its own: on the heap, not the stack.
        auto document = std::make_unique<rapidxml::xml_document<char>>();
        try {
            document->parse<kParseFlags>(buffer.data());
        } catch (const rapidxml::parse_error& failure) {
            const char* where = failure.where<char>();
            const std::size_t offset =
                where != nullptr && where >= buffer.data() && where <= buffer.data() + text.size()
                    ? static_cast<std::size_t>(where - buffer.data())
                    : text.size();
            const std::string_view what = failure.what();
            if (offset < text.size() && text[offset] == '\0') {
                error = shown + ": a NUL byte at " + Where(text, offset) +
                        ": not a DAT file (a DAT file is XML text).";
            } else if (offset >= text.size()) {
                error = shown + ": the XML ends early, at " + Where(text, offset) +
                        ": the DAT file is incomplete. Get the DAT file again.";
            } else {
                error = shown + ": not valid XML at " + Where(text, offset) + " (" +
                        std::string(what) + "). The DAT file is damaged: get it again.";
            }
            return false;
        }

        const rapidxml::xml_node<char>* root = document->first_node();
        if (root == nullptr || root->type() != rapidxml::node_element) {
            error = shown + ": holds no XML element, not a DAT file.";
            return false;
        }
        DatFileInfo info;
        info.fileName = shown;
        const auto* header = Child(*root, kDatElementHeader);
        const auto* headerName = header ? Child(*header, kDatElementName) : nullptr;
        info.name = ReportText(headerName ? ValueOf(*headerName) : std::string_view());
        if (info.name.empty()) {
            std::string base =
                FileNameOf(std::filesystem::path(std::u8string(fileName.begin(), fileName.end())));
            info.name = ReportText(base.empty() ? fileName : base);
        }

        std::vector<Entry> entries;
        std::vector<std::string> games;
        bool anyEntry = false;
        const auto fileNumber = static_cast<std::uint32_t>(files_.size());
        for (const auto* node = root->first_node(); node != nullptr; node = node->next_sibling()) {
            if (node->type() != rapidxml::node_element || !IsEntryElement(NameOf(*node))) {
                continue;
            }
            anyEntry = true;
            std::optional<std::uint32_t> gameNumber;
            for (const auto* rom = Child(*node, kDatElementRom); rom != nullptr;
                 rom = rom->next_sibling(kDatElementRom.data(), kDatElementRom.size())) {
                const auto size = ParseSize(Value(Attribute(*rom, kDatAttributeSize)));
                const auto crc = ParseCrc(Value(Attribute(*rom, kDatAttributeCrc)));
                const auto* sha1Attribute = Attribute(*rom, kDatAttributeSha1);
                const auto sha1 = ParseSha1(Value(sha1Attribute));
                // A SHA-1 given but unreadable makes the entry as doubtful as a missing CRC32.
                if (!size || !crc || (sha1Attribute != nullptr && !sha1)) {
                    ++info.skipped;
                    continue;
                }
                if (!gameNumber) {
                    std::string_view game = Value(Attribute(*node, kDatAttributeName));
                    if (game.empty()) {
                        game = Value(Attribute(*rom, kDatAttributeName));
                    }
                    gameNumber = static_cast<std::uint32_t>(games_.size() + games.size());
                    games.push_back(game.empty() ? std::string("(unnamed)") : ReportText(game));
                }
                entries.push_back({*size, *crc, sha1.has_value(), sha1.value_or(Sha1Digest{}),
                                   *gameNumber, fileNumber});
            }
        }
        if (!anyEntry && header == nullptr) {
            error = shown + ": not a DAT file: its root element <" + ReportText(NameOf(*root)) +
                    "> holds no <header>, <game> or <machine>.";
            return false;
        }
        info.entries = entries.size();

        // Into the index: both orders merged with the new entries sorted on their own.
        const auto first = static_cast<std::uint32_t>(entries_.size());
        entries_.insert(entries_.end(), entries.begin(), entries.end());
        games_.insert(games_.end(), std::make_move_iterator(games.begin()),
                      std::make_move_iterator(games.end()));
        files_.push_back(std::move(info));
        const auto byCrc = [this](std::uint32_t a, std::uint32_t b) {
            return std::tie(entries_[a].crc32, a) < std::tie(entries_[b].crc32, b);
        };
        const auto bySha1 = [this](std::uint32_t a, std::uint32_t b) {
            return std::tie(entries_[a].sha1, a) < std::tie(entries_[b].sha1, b);
        };
        const std::size_t oldCrc = byCrc_.size();
        const std::size_t oldSha1 = bySha1_.size();
        for (std::uint32_t number = first; number < entries_.size(); ++number) {
            byCrc_.push_back(number);
            if (entries_[number].hasSha1) {
                bySha1_.push_back(number);
            }
        }
        const auto crcMiddle = byCrc_.begin() + static_cast<std::ptrdiff_t>(oldCrc);
        std::sort(crcMiddle, byCrc_.end(), byCrc);
        std::inplace_merge(byCrc_.begin(), crcMiddle, byCrc_.end(), byCrc);
        const auto sha1Middle = bySha1_.begin() + static_cast<std::ptrdiff_t>(oldSha1);
        std::sort(sha1Middle, bySha1_.end(), bySha1);
        std::inplace_merge(bySha1_.begin(), sha1Middle, bySha1_.end(), bySha1);
        return true;
    } catch (const std::bad_alloc&) {
        error = shown + ": not enough memory to read it.";
    } catch (const std::exception& failure) {
        error = shown + ": cannot read it (" + failure.what() + ").";
    }
    return false;
}

std::optional<DatIndex::Found> DatIndex::Find(const ImageHashes& hashes) const {
    // Verified: an entry with this SHA-1 whose size and CRC32 match too.
    const auto sha1First = std::partition_point(
        bySha1_.begin(), bySha1_.end(),
        [&](std::uint32_t number) { return entries_[number].sha1 < hashes.sha1; });
    for (auto it = sha1First; it != bySha1_.end() && entries_[*it].sha1 == hashes.sha1; ++it) {
        const Entry& entry = entries_[*it];
        if (entry.size == hashes.size && entry.crc32 == hashes.crc32) {
            return Found{DatVerdict::Verified, &entry};
        }
    }
    // Else by CRC32: an entry whose SHA-1 differs (one of the same size first), else one of the
    // same size that lists no SHA-1.
    const Entry* differs = nullptr;
    const Entry* noSha1 = nullptr;
    const auto crcFirst = std::partition_point(
        byCrc_.begin(), byCrc_.end(),
        [&](std::uint32_t number) { return entries_[number].crc32 < hashes.crc32; });
    for (auto it = crcFirst; it != byCrc_.end() && entries_[*it].crc32 == hashes.crc32; ++it) {
        const Entry& entry = entries_[*it];
        if (entry.hasSha1) {
            if (differs == nullptr || (differs->size != hashes.size && entry.size == hashes.size)) {
                differs = &entry;
            }
        } else if (entry.size == hashes.size && noSha1 == nullptr) {
            noSha1 = &entry;
        }
    }
    if (differs != nullptr) {
        return Found{DatVerdict::Sha1Differs, differs};
    }
    if (noSha1 != nullptr) {
        return Found{DatVerdict::NoSha1, noSha1};
    }
    return std::nullopt;
}

DatMatch DatIndex::Match(const ImageDigests& digests) const {
    DatMatch match;
    match.datFiles = files_.size();
    match.entries = entries_.size();
    match.fileOrder = digests.fileOrder;

    // The form dump databases list first, then the file as it is; a verified entry of either
    // beats a CRC32 match of either.
    std::optional<Found> listed = digests.listed ? Find(*digests.listed) : std::nullopt;
    std::optional<Found> file = Find(digests.file);
    const auto take = [&](const Found& found, DatForm form) {
        match.verdict = found.verdict;
        match.game = games_[found.entry->game];
        match.datName = files_[found.entry->file].name;
        match.form = form;
    };
    if (listed && listed->verdict == DatVerdict::Verified) {
        take(*listed, digests.listedForm);
    } else if (file && file->verdict == DatVerdict::Verified) {
        take(*file, DatForm::AsIs);
    } else if (listed) {
        take(*listed, digests.listedForm);
    } else if (file) {
        take(*file, DatForm::AsIs);
    }
    return match;
}

std::string DatReportLine(const DatMatch& match) {
    const std::string entry = match.game + " (" + match.datName + ")";
    std::string line = "DAT: ";
    switch (match.verdict) {
        case DatVerdict::Verified:
            line += "verified, " + entry;
            break;
        case DatVerdict::Sha1Differs:
            line += "CRC32 matches " + entry + " but SHA-1 differs: not a verified dump";
            break;
        case DatVerdict::NoSha1:
            line += "CRC32 and size match " + entry + ", which lists no SHA-1: not a verified dump";
            break;
        case DatVerdict::NotFound:
            return line + "not found in " + Plural(match.datFiles, "DAT file", "DAT files") + " (" +
                   Plural(match.entries, "entry", "entries") + ")\n";
    }
    if (match.form == DatForm::BigEndian) {
        line += ", matched in its big-endian form";
        if (match.fileOrder) {
            line += " (the file is " + std::string(N64ByteOrderName(*match.fileOrder)) + ")";
        }
    } else if (match.form == DatForm::WithoutCopierHeader) {
        line +=
            ", matched without its " + std::to_string(kSfcCopierHeaderSize) + "-byte copier header";
    }
    return line + "\n";
}

}  // namespace reader::rom
