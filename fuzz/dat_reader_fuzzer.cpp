// The DAT reader over any file. Whatever the bytes, nothing crashes or throws (rapidxml's own
// errors included), no stack runs out, and:
//   - a file is either read (one more DAT file in the index, its entries counted in it) or
//     refused with one line that names it, and the index is then as it was;
//   - the nesting check before parsing agrees with rapidxml: whenever rapidxml parses a file
//     that passes the check, the deepest element of its tree is exactly as deep as the check
//     measured (a check that measured less would let a deeper file through to the recursion);
//   - a file that passes the check is refused for its depth never, and one that fails it always;
//   - matching any hashes against the index gives one report line.
#include <rapidxml.hpp>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frontend/rom/dat.hpp"
#include "frontend/rom/hashes.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

using namespace reader::rom;
using reader::fuzz::Require;

constexpr std::string_view kFileName = "fuzz.dat";

// The depth of the deepest element below `node`, walked without recursion.
std::size_t TreeDepth(const rapidxml::xml_node<char>& root) {
    std::size_t deepest = 0;
    std::vector<std::pair<const rapidxml::xml_node<char>*, std::size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        for (const auto* child = node->first_node(); child != nullptr;
             child = child->next_sibling()) {
            if (child->type() == rapidxml::node_element) {
                deepest = std::max(deepest, depth + 1);
                pending.emplace_back(child, depth + 1);
            }
        }
    }
    return deepest;
}

// The check measured against what rapidxml (with the reader's flags) builds of the same text.
void CheckNesting(std::string_view text, const XmlNesting& nesting) {
    if (nesting.tooDeepAt) {
        Require(*nesting.tooDeepAt < text.size() && text[*nesting.tooDeepAt] == '<');
        Require(nesting.deepest == kDatMaxNesting + 1);
        return;
    }
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    auto document = std::make_unique<rapidxml::xml_document<char>>();
    try {
        document->parse<rapidxml::parse_validate_closing_tags>(buffer.data());
    } catch (const rapidxml::parse_error&) {
        return;
    }
    Require(TreeDepth(*document) == nesting.deepest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const XmlNesting nesting = MeasureXmlNesting(text, kDatMaxNesting);
    CheckNesting(text, nesting);

    DatIndex index;
    std::string error;
    const bool read = index.AddText(text, kFileName, error);
    if (read) {
        Require(error.empty());
        Require(index.Files().size() == 1);
        Require(index.Files()[0].entries == index.EntryCount());
        Require(!index.Files()[0].name.empty());
        Require(!nesting.tooDeepAt);
    } else {
        Require(error.starts_with(std::string(kFileName) + ":"));
        Require(error.find('\n') == std::string::npos);
        Require(index.Files().empty() && index.EntryCount() == 0);
        Require(nesting.tooDeepAt.has_value() == (error.find(" deep at ") != std::string::npos));
    }

    // Any image against the index: the input itself, as each kind.
    const std::span<const std::uint8_t> image(data, size);
    for (const ImageKind kind : {ImageKind::Other, ImageKind::N64, ImageKind::Sfc}) {
        const DatMatch match = index.Match(ComputeImageDigests(image, kind));
        const std::string line = DatReportLine(match);
        Require(line.starts_with("DAT: ") && line.back() == '\n');
        Require(std::count(line.begin(), line.end(), '\n') == 1);
        Require((match.verdict == DatVerdict::NotFound) == match.game.empty());
    }
    return 0;
}
