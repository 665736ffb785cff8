#!/usr/bin/env bash
# Checks the packages that scripts/make-packages.sh made, as a user would meet them:
#   - each Debian package unpacks (dpkg -x) into a scratch root and holds what it should, with its
#     licence and its dependencies; the unpacked n64-update, run with no reader attached, prints
#     its two lines and exits with 0; the small front-end of tests/frontend builds against the
#     unpacked -dev files alone and runs against every emulated reader variant;
#   - what a distribution expects of them: lintian (Debian 12's, default profile) reports no error
#     and no warning; each carries the changelog of its version, with a well-formed Maintainer;
#     each program's manual page reads with man -l without a warning, has its sections, and names
#     every command and option the unpacked program's help lists; reader-tool's bash completion
#     offers what it should for a table of command lines;
#   - each Windows zip unpacks and holds the programs, README.txt and CHANGES.txt with CRLF line
#     ends, LICENSE and SHA256SUMS, whose sums hold; the unpacked program is a console program of
#     its architecture with its version resource and manifest, and imports only Windows' own
#     DLLs; the 64-bit one, run under Wine with no reader, prints its two lines;
#   - a second build of the commit gives byte-identical packages and programs
#     (scripts/check-reproducible.sh; left out, and said so, when the checkout has uncommitted
#     changes or READER_SKIP_REPRODUCIBLE=1).
# Closes with "package checks: N passed, M failed"; exits non-zero when any failed.
# Usage: scripts/check-packages.sh   (after scripts/make-packages.sh)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt | head -n 1)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@" >"$scratch/check.log" 2>&1; then
        echo "ok      $what"
        passed=$((passed + 1))
    else
        echo "FAILED  $what"
        sed 's/^/        /' "$scratch/check.log" | tail -n 30
        failed=$((failed + 1))
    fi
}

# The shipped programs: the Windows zips' programs with the description of their version resource
# (as given to reader_add_windows_resources), and the Debian packages with a program each.
windows_programs=(
    "n64-update.exe|Firmware update for the N64 cartridge reader"
    "reader-tool.exe|Dumps, verifies, writes and traces cartridges with the USB cartridge reader"
)
debian_programs=(n64-update reader-tool reader-emulator)

# What n64-update prints when no reader is attached, whatever the system.
no_reader_output=$'Firmware update client not used for your device()\npress any key to exit.\n'

# --- Debian packages --------------------------------------------------------------------------

debs=(build/package/packages/*.deb)
deb_root=$scratch/debian-root

deb_named() { ls build/package/packages/"$1"_"${version}"_*.deb 2>/dev/null | head -n 1; }

unpack_debs() {
    mkdir -p "$deb_root"
    [[ -f "${debs[0]}" ]] || { echo "no .deb in build/package/packages"; return 1; }
    for deb in "${debs[@]}"; do
        dpkg-deb --info "$deb" >/dev/null && dpkg -x "$deb" "$deb_root" || return 1
    done
}

deb_holds() {
    local package=$1
    shift
    local deb
    deb=$(deb_named "$package")
    [[ -n "$deb" ]] || { echo "no $package package"; return 1; }
    local listing
    listing=$(dpkg-deb --contents "$deb" | awk '{ print $NF }')
    for path in "$@" "./usr/share/doc/$package/copyright"; do
        grep -qxF "$path" <<<"$listing" || { echo "$package lacks $path"; return 1; }
    done
    cmp -s "$deb_root/usr/share/doc/$package/copyright" LICENSE ||
        { echo "$package: copyright is not the LICENSE"; return 1; }
}

deb_depends_on() {
    local package=$1 dependency=$2 depends
    depends=$(dpkg-deb --field "$(deb_named "$package")" Depends)
    echo "$package: Depends: $depends"
    grep -qE "(^|, )$dependency( |,|$)" <<<"$depends"
}

installed_update_without_reader() {
    local output status=0
    output=$("$deb_root/usr/bin/n64-update" </dev/null) || status=$?
    output+=$'\n'
    printf '%s' "$output"
    [[ $status -eq 0 && "$output" == "$no_reader_output" ]]
}

installed_tool_answers() {
    local output status=0
    output=$("$deb_root/usr/bin/reader-tool" --version </dev/null) || status=$?
    echo "$output"
    [[ $status -eq 0 && "$output" == "reader-tool $version" ]] || return 1
    # The dump report needs no reader: a small made-up image.
    head -c 4096 /dev/zero >"$scratch/zero.bin"
    output=$("$deb_root/usr/bin/reader-tool" check "$scratch/zero.bin" </dev/null) || status=$?
    echo "$output"
    [[ $status -eq 0 ]] && grep -q "^Size: 4096 bytes" <<<"$output"
}

frontend_against_unpacked_dev() {
    local build=$scratch/frontend
    cmake -S tests/frontend -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$deb_root/usr" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF || return 1
    # The package must come from the unpacked root, not from anywhere else on the machine.
    grep -q "^ReaderDevice_DIR:PATH=$deb_root/usr/" "$build/CMakeCache.txt" ||
        { grep '^ReaderDevice_DIR' "$build/CMakeCache.txt"; return 1; }
    cmake --build "$build" && "$build/reader-frontend"
}

check "the Debian packages unpack with dpkg -x" unpack_debs
for program in "${debian_programs[@]}"; do
    check "$program package: the program and its licence" \
        deb_holds "$program" "./usr/bin/$program"
    check "$program package depends on the C library" deb_depends_on "$program" libc6
done
check "reader-emulator package depends on fuse3" deb_depends_on reader-emulator fuse3
check "libreader-device-dev package: headers, libraries, CMake package" \
    deb_holds libreader-device-dev ./usr/include/reader/drivers/device_library.hpp \
    "./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libreader_device.a" \
    "./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake/ReaderDevice/ReaderDeviceConfig.cmake"
check "the unpacked n64-update without a reader: its two lines, exit code 0" \
    installed_update_without_reader
check "the unpacked reader-tool: --version and the report of an image" installed_tool_answers
check "tests/frontend builds against the unpacked -dev files and runs" frontend_against_unpacked_dev

# --- What a distribution expects of the Debian packages ---------------------------------------

# Debian's checker: no error and no warning (informational tags are listed in the log).
lintian_clean() {
    local output status=0
    output=$(lintian --fail-on error,warning --display-info "$1" 2>&1) || status=$?
    grep -v 'running with root privileges' <<<"$output"
    [[ $status -eq 0 ]] && ! grep -qE '^[EW]: ' <<<"$output"
}

changelog_and_maintainer() {
    local deb=$1 package maintainer log
    package=$(dpkg-deb --field "$deb" Package)
    maintainer=$(dpkg-deb --field "$deb" Maintainer)
    echo "$package: Maintainer: $maintainer"
    [[ $maintainer =~ ^[^\<\>]*[^\<\>\ ]\ \<[^\<\>\ ]+@[^\<\>\ ]+\>$ ]] || return 1
    log=$deb_root/usr/share/doc/$package/changelog.gz
    zcat "$log" >"$scratch/changelog" || return 1
    [[ $(dpkg-parsechangelog -l "$scratch/changelog" -S Version) == "$version" &&
        $(dpkg-deb --field "$deb" Version) == "$version" ]] ||
        { echo "$package: the changelog's latest entry is not for $version"; return 1; }
}

# Each program's page, and the sections it must have, as man prints their headings.
man_pages=(
    "n64-update|NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|MESSAGES|AFTER A FAILURE|FILES|SEE ALSO"
    "reader-tool|NAME|SYNOPSIS|DESCRIPTION|COMMANDS|EXIT STATUS|FILES|EXAMPLES|SEE ALSO"
    "reader-emulator|NAME|SYNOPSIS|DESCRIPTION|EXIT STATUS|FILES|EXAMPLES|SEE ALSO"
)

# The page as man prints it, without hyphenation, so that no option is broken across two lines.
man_text() { MANWIDTH=100 man --nh --nj -l "$deb_root/usr/share/man/man1/$1.1.gz" 2>/dev/null | col -b; }

man_page_reads() {
    local program=$1 warnings text section
    shift
    warnings=$(MANWIDTH=80 man --warnings -l "$deb_root/usr/share/man/man1/$program.1.gz" \
        2>&1 >/dev/null) || { echo "man -l cannot read the page: $warnings"; return 1; }
    [[ -z $warnings ]] || { echo "man -l warns: $warnings"; return 1; }
    text=$(man_text "$program")
    for section in "$@"; do
        grep -qxF "$section" <<<"$text" || { echo "$program(1) has no section $section"; return 1; }
    done
}

# Every option that the unpacked program's help names is in its page; for a program with
# commands, every command its help lists has its subsection, with the options of its own help.
man_page_covers_help() {
    local program=$1 binary=$deb_root/usr/bin/$1 text help option command
    text=$(man_text "$program")
    help=$("$binary" --help </dev/null) || return 1
    local commands
    commands=$(awk '/^Commands.*:$/ { inside = 1; next } inside && /^$/ { exit }
                    inside && /^  [a-z]/ { print $1 }' <<<"$help")
    # The section taken out first: grep -q in a pipeline would end early and, under pipefail, fail
    # the pipeline with the SIGPIPE of whatever still wrote into it.
    local section
    section=$(sed -n '/^COMMANDS$/,/^[A-Z]/p' <<<"$text")
    for command in $commands; do
        grep -qx "   $command" <<<"$section" ||
            { echo "$program(1) has no subsection for the command $command"; return 1; }
        help+=$'\n'$("$binary" "$command" --help </dev/null) || return 1
    done
    for option in $(grep -oE -- '--[a-z][a-z0-9-]+' <<<"$help" | sort -u); do
        grep -qF -- "$option" <<<"$text" || { echo "$program(1) does not name $option"; return 1; }
    done
    echo "$program(1) names the commands ${commands//$'\n'/ } and every option of the help"
}

# reader-tool's completion: a command line (the cursor at its end) and what it must offer, all of
# it and nothing else, in a folder holding image.z64, list.dat, more.xml and the folder sub.
completion_cases=(
    "reader-tool |check control dump info shell status trace write"
    "reader-tool d|dump"
    "reader-tool dump game.z64 --|--byte-order --dat --drive --fc-mode --force --help --quiet --size --start --verify --version"
    "reader-tool --quiet dump game.z64 --verify --|--byte-order --dat --drive --fc-mode --force --help --size --start --version"
    "reader-tool dump game.z64 --byte-order |big-endian byte-swapped little-endian n64 v64 z64"
    "reader-tool dump sub --dat list.dat --d|--dat --drive"
    "reader-tool dump game.z64 --dat |list.dat more.xml sub"
    "reader-tool check |image.z64 list.dat more.xml sub"
    "reader-tool check -|- --dat --drive --fc-mode --help --quiet --version"
    "reader-tool write image.z64 --|--drive --fc-mode --help --quiet --start --verify --version"
    "reader-tool trace 0x8000 --from |image.z64 list.dat more.xml sub"
    "reader-tool --fc-mode |0 1"
    "reader-tool --drive |sub"
    "reader-tool status |"
)

completion_offers() {
    local file=$deb_root/usr/share/bash-completion/completions/reader-tool
    [[ -f $file ]] || { echo "no completion file"; return 1; }
    mkdir -p "$scratch/completion/sub" &&
        touch "$scratch/completion/image.z64" "$scratch/completion/list.dat" \
            "$scratch/completion/more.xml" || return 1
    local case line expected offered wrong=0
    for case in "${completion_cases[@]}"; do
        line=${case%%|*}
        expected=${case#*|}
        offered=$(cd "$scratch/completion" && LINE=$line FILE=$file bash --norc --noprofile -c '
            source /usr/share/bash-completion/bash_completion && source "$FILE" || exit 1
            COMP_LINE=$LINE COMP_POINT=${#LINE}
            read -ra COMP_WORDS <<<"$LINE"
            [[ $LINE == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            COMPREPLY=()
            _reader_tool reader-tool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            printf "%s\n" "${COMPREPLY[@]}"' | sort | xargs) || return 1
        if [[ $offered == "$expected" ]]; then
            echo "ok      [$line] -> $offered"
        else
            echo "WRONG   [$line] -> $offered (expected: $expected)"
            wrong=$((wrong + 1))
        fi
    done
    ((wrong == 0))
}

for deb in "${debs[@]}"; do
    check "lintian: no error or warning for $(basename "$deb")" lintian_clean "$deb"
    check "$(basename "$deb"): changelog of $version, Maintainer with name and address" \
        changelog_and_maintainer "$deb"
done
for entry in "${man_pages[@]}"; do
    IFS='|' read -ra fields <<<"$entry"
    check "${fields[0]}(1): man -l reads it without a warning, with its sections" \
        man_page_reads "${fields[@]}"
done
for program in reader-tool reader-emulator; do
    check "$program(1): every command and option of the unpacked program's help" \
        man_page_covers_help "$program"
done
check "reader-tool bash completion: commands, options, values and files" completion_offers

# --- Windows zips -----------------------------------------------------------------------------

# check_zip PRESET ARCHITECTURE OBJDUMP
check_zip() {
    local preset=$1 architecture=$2 objdump=$3
    local zip=build/$preset/packages/n64-update-$version-windows-$architecture.zip
    local dir=$scratch/$preset/n64-update-$version-windows-$architecture
    unpack() {
        [[ -f "$zip" ]] || { echo "no $zip"; return 1; }
        mkdir -p "$scratch/$preset" && (cd "$scratch/$preset" && cmake -E tar xf "$root/$zip") &&
            [[ -d "$dir" ]]
    }
    holds_what_it_should() {
        local found expected entry
        found=$(cd "$dir" && find . -type f | sort)
        expected=$(for entry in "${windows_programs[@]}" CHANGES.txt LICENSE README.txt SHA256SUMS; do
            echo "./${entry%%|*}"
        done | sort)
        echo "found: $found"
        echo "expected: $expected"
        [[ "$found" == "$expected" ]]
    }
    sums_hold() {
        (cd "$dir" && sha256sum --strict -c SHA256SUMS) &&
            [[ $(wc -l <"$dir/SHA256SUMS") -eq $(($(find "$dir" -type f | wc -l) - 1)) ]]
    }
    crlf_text() {
        local file
        for file in README.txt CHANGES.txt LICENSE; do
            # Every line ends in CR LF: no line feed without its carriage return.
            [[ -s "$dir/$file" ]] || return 1
            if grep -qv $'\r$' "$dir/$file"; then
                echo "$file has lines without CRLF"
                return 1
            fi
        done
        grep -q "n64-update $version for Windows ($architecture)" "$dir/README.txt" &&
            head -n 1 "$dir/CHANGES.txt" | grep -qF "($version)"
    }
    program_checks() {
        local entry name description program
        for entry in "${windows_programs[@]}"; do
            name=${entry%%|*}
            description=${entry#*|}
            program=$dir/$name
            cmake -DOBJDUMP="$objdump" -DPROGRAM="$program" -DARCHITECTURE="$architecture" \
                -P cmake/CheckWindowsProgram.cmake &&
                cmake -DOBJDUMP="$objdump" -DPROGRAM="$program" \
                    -P cmake/CheckWindowsImports.cmake &&
                cmake -DOBJDUMP="$objdump" -DPROGRAM="$program" -DVERSION="$version" \
                    -DORIGINAL_FILENAME="$name" "-DDESCRIPTION=$description" \
                    -DPRODUCT_NAME=n64-update -P cmake/CheckWindowsResources.cmake || return 1
        done
    }
    check "$architecture zip unpacks" unpack
    check "$architecture zip: the programs, README.txt, CHANGES.txt, LICENSE, SHA256SUMS" \
        holds_what_it_should
    check "$architecture zip: SHA256SUMS lists every other file and its sums hold" sums_hold
    check "$architecture zip: README.txt, CHANGES.txt ($version) and LICENSE have CRLF line ends" \
        crlf_text
    check "$architecture zip: console programs, only Windows' DLLs, version and manifest" \
        program_checks
}

check_zip windows x86_64 x86_64-w64-mingw32-objdump
check_zip windows32 i686 i686-w64-mingw32-objdump

zipped_exe_under_wine() {
    local output status=0
    output=$(bash cmake/toolchains/wine-run.sh --prefix "$root/build/windows/wineprefix" \
        "$scratch/windows/n64-update-$version-windows-x86_64/n64-update.exe" </dev/null) ||
        status=$?
    output+=$'\n'
    printf '%s' "$output"
    [[ $status -eq 0 && "$output" == "$no_reader_output" ]]
}
check "x86_64 zip: n64-update.exe under Wine without a reader: its two lines, exit code 0" \
    zipped_exe_under_wine

zipped_tool_under_wine() {
    local output status=0
    output=$(bash cmake/toolchains/wine-run.sh --prefix "$root/build/windows/wineprefix" \
        "$scratch/windows/n64-update-$version-windows-x86_64/reader-tool.exe" --version \
        </dev/null) || status=$?
    output=${output%$'\r'}
    echo "$output"
    [[ $status -eq 0 && "$output" == "reader-tool $version" ]]
}
check "x86_64 zip: reader-tool.exe --version under Wine" zipped_tool_under_wine

# --- Two builds, one result ---------------------------------------------------------------------

if [[ ${READER_SKIP_REPRODUCIBLE:-} == 1 ]]; then
    echo "SKIPPED two builds of this commit give identical packages (READER_SKIP_REPRODUCIBLE=1)"
else
    echo "=== two builds of this commit (scripts/check-reproducible.sh)"
    status=0
    bash scripts/check-reproducible.sh || status=$?
    if ((status == 0)); then
        echo "ok      two builds of this commit give identical packages and programs"
        passed=$((passed + 1))
    elif ((status == 3)); then
        echo "SKIPPED two builds of this commit give identical packages (uncommitted changes)"
    else
        echo "FAILED  two builds of this commit give identical packages and programs"
        failed=$((failed + 1))
    fi
fi

echo "package checks: $passed passed, $failed failed"
((failed == 0))
