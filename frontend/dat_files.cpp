#include "frontend/dat_files.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <system_error>
#include <utility>

#include "text/text.hpp"

namespace reader::tool {
namespace {

namespace fs = std::filesystem;

// The names dump databases give their DAT files.
constexpr std::array<std::string_view, 2> kDatExtensions = {".dat", ".xml"};

bool IsDatFileName(const fs::path& path) {
    const std::u8string name = path.extension().u8string();
    const std::string extension(name.begin(), name.end());
    return std::any_of(kDatExtensions.begin(), kDatExtensions.end(), [&](std::string_view wanted) {
        return text::SameIgnoringCase(extension, wanted);
    });
}

// The DAT files in a folder, by name; `error` is set when the folder cannot be listed.
std::vector<fs::path> DatFilesIn(const fs::path& folder, std::error_code& error) {
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && IsDatFileName(it->path())) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A DAT file, or a folder of them, given with --dat.
Outcome AddGiven(rom::DatIndex& index, const std::string& given) {
    const fs::path path(given);
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        std::string problem;
        if (!index.AddFile(path, problem)) {
            return Failure(problem);
        }
        return std::nullopt;
    }
    const std::vector<fs::path> files = DatFilesIn(path, error);
    if (error) {
        return Failure("cannot read the folder " + given + ": " + error.message() + ".");
    }
    if (files.empty()) {
        return Failure(given +
                       " holds no DAT files (*.dat, *.xml). Give a DAT file, or a folder of them.");
    }
    for (const fs::path& file : files) {
        std::string problem;
        if (!index.AddFile(file, problem)) {
            return Failure(problem);
        }
    }
    return std::nullopt;
}

// One default folder: every DAT file that can be read; the others get a warning.
DatFolder AddFolder(ToolContext& context, rom::DatIndex& index, const fs::path& path) {
    DatFolder folder{path};
    std::error_code error;
    folder.exists = fs::is_directory(path, error);
    if (!folder.exists) {
        return folder;
    }
    const std::vector<fs::path> files = DatFilesIn(path, error);
    if (error) {
        context.Err("reader-tool: warning: cannot read the DAT folder " + PathText(path) + " (" +
                    error.message() + "); its DAT files are left out.\n");
        return folder;
    }
    const std::size_t entriesBefore = index.EntryCount();
    for (const fs::path& file : files) {
        std::string problem;
        if (index.AddFile(file, problem)) {
            ++folder.files;
        } else {
            context.Err("reader-tool: warning: " + problem +
                        " It is left out; the other DAT files are used.\n");
        }
    }
    folder.entries = index.EntryCount() - entriesBefore;
    return folder;
}

}  // namespace

std::string FolderList(const std::vector<DatFolder>& folders) {
    std::string text;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        text += (i == 0 ? "" : " or ") + PathText(folders[i].path);
    }
    return text;
}

Expected<DatSet> LoadDats(ToolContext& context, std::span<const std::string> given) {
    DatSet dats;
    dats.given = !given.empty();
    for (const std::string& dat : given) {
        if (auto failed = AddGiven(dats.index, dat)) {
            return std::move(*failed);
        }
    }
    if (!dats.given) {
        for (const fs::path& path : context.Os().DatFolders()) {
            dats.folders.push_back(AddFolder(context, dats.index, path));
        }
    }
    return dats;
}

DatAnswer AskDats(const DatSet& dats, const rom::ImageDigests& digests) {
    DatAnswer answer;
    if (dats.index.Files().empty()) {
        answer.line = "DAT: none to verify against: ";
        answer.line += dats.folders.empty()
                           ? "give --dat"
                           : "put DAT files in " + FolderList(dats.folders) + ", or give --dat";
        answer.line += '\n';
        return answer;
    }
    answer.match = dats.index.Match(digests);
    answer.line = rom::DatReportLine(answer.match);
    return answer;
}

}  // namespace reader::tool
