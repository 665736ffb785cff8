// The DAT files of a run of reader-tool: those given with --dat (files, or folders of them), else
// those in the folders where the user keeps them (ToolOs::DatFolders). They answer the question a
// dump report cannot: is this a verified good dump, and of which game?
//
// Given with --dat, a DAT file that cannot be read is an error before the cartridge is touched,
// and an image that no entry verifies fails the command (exit status 1): a script's "is this a
// good dump?". From the default folders, a broken DAT file gets a warning and is left out, and
// the DAT line is information only.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "frontend/context.hpp"
#include "frontend/outcome.hpp"
#include "frontend/rom/dat.hpp"

namespace reader::tool {

// What one of the default DAT folders holds.
struct DatFolder {
    std::filesystem::path path;
    bool exists = false;
    std::size_t files = 0;    // DAT files read from it
    std::size_t entries = 0;  // their ROM entries
};

struct DatSet {
    rom::DatIndex index;
    bool given = false;              // the files came with --dat
    std::vector<DatFolder> folders;  // the default folders searched, without --dat
};

// Reads the DAT files given (each a file, or a folder whose *.dat and *.xml files are read), or
// without any the default folders' DAT files, into one index.
Expected<DatSet> LoadDats(ToolContext& context, std::span<const std::string> given);

// What the DAT files say about an image: the report's DAT line ('\n' at its end) and whether an
// entry verifies it (size, CRC32 and SHA-1 all match). With no DAT file at all the line says
// where DAT files go.
struct DatAnswer {
    rom::DatMatch match;
    std::string line;

    bool Verified() const { return match.verdict == rom::DatVerdict::Verified; }
};
DatAnswer AskDats(const DatSet& dats, const rom::ImageDigests& digests);

using rom::PathText;

// "/home/u/.local/share/reader-tool/dat" or "C:\...\dat or E:\tools\dat": the default folders.
std::string FolderList(const std::vector<DatFolder>& folders);

}  // namespace reader::tool
