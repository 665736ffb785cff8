# Manual pages (section 1) for the Debian packages, made at build time and installed compressed
# into share/man/man1 with the program's install component:
#
#   reader_man_page_from_help(TARGET reader-tool COMPONENT tool SUMMARY "one line"
#                             [INCLUDE packaging/man/reader-tool.h2m]   # hand-written sections
#                             [COMMANDS]                 # a COMMANDS section from COMMAND --help
#                             [VERSION_STRING 1.0.0])    # for a program without --version
#   reader_man_page_by_hand(NAME n64-update COMPONENT update SOURCE packaging/man/n64-update.1.in)
#
# A page from the help is help2man's reading of the built program's --help, so it never drifts
# from the program. With COMMANDS, the commands that --help lists (under "Commands:", each line
# "  NAME ...") are asked for their own help one by one, and each becomes a subsection: usage,
# description and options; what a command's help shares with the program's help (the options for
# every command, notes on numbers) is left out, the page has it once already. A hand-written page
# is a roff file with @READER_MAN_VERSION@ and @READER_MAN_DATE@ (month and year).
#
# Pages are dated from READER_SOURCE_DATE_EPOCH (cmake/Reproducible.cmake) and compressed with
# gzip -9n (no name, no time), so two builds of a commit give the same bytes. Only native builds
# that are not for Windows make pages (READER_MAN_PAGES): the programs must run on the build
# machine, and only the Debian packages carry them.
#
# The same file runs in script mode, -DACTION=help2man|hand, to make one page.

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_minimum_required(VERSION 3.25)
    # Placeholders for the characters CMake's lists take as separators or brackets, so that a help
    # text can be split into a list of lines.
    string(ASCII 1 kSemicolon)
    string(ASCII 2 kOpenBracket)
    string(ASCII 3 kCloseBracket)

    function(run_program output)
        execute_process(COMMAND ${ARGN} INPUT_FILE /dev/null OUTPUT_VARIABLE text
                        ERROR_VARIABLE errors RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            string(REPLACE ";" " " command "${ARGN}")
            message(FATAL_ERROR "'${command}' failed (${status}): ${errors}")
        endif()
        set(${output} "${text}" PARENT_SCOPE)
    endfunction()

    function(split_lines text output)
        string(REPLACE ";" "${kSemicolon}" text "${text}")
        string(REPLACE "[" "${kOpenBracket}" text "${text}")
        string(REPLACE "]" "${kCloseBracket}" text "${text}")
        string(REGEX REPLACE "\n$" "" text "${text}")
        string(REPLACE "\n" ";" lines "${text}")
        set(${output} "${lines}" PARENT_SCOPE)
    endfunction()

    # One line of help text as roff text: backslashes and hyphens escaped, the placeholders back,
    # and a line that would start with a control character made plain.
    function(roff text output)
        string(REPLACE "\\" "\\e" text "${text}")
        string(REPLACE "-" "\\-" text "${text}")
        string(REPLACE "${kSemicolon}" ";" text "${text}")
        string(REPLACE "${kOpenBracket}" "[" text "${text}")
        string(REPLACE "${kCloseBracket}" "]" text "${text}")
        if(text MATCHES "^[.']")
            set(text "\\&${text}")
        endif()
        set(${output} "${text}" PARENT_SCOPE)
    endfunction()

    # An option's head, "--start ADDR" or "-h, --help": option names bold, values italic.
    function(roff_option_head head output)
        string(REPLACE " " ";" words "${head}")
        set(parts "")
        foreach(word IN LISTS words)
            set(comma "")
            if(word MATCHES "^(.*),$")
                set(word "${CMAKE_MATCH_1}")
                set(comma ",")
            endif()
            roff("${word}" word)
            if(word MATCHES "^\\\\-")
                list(APPEND parts "\\fB${word}\\fR${comma}")
            else()
                list(APPEND parts "\\fI${word}\\fR${comma}")
            endif()
        endforeach()
        list(JOIN parts " " joined)
        set(${output} "${joined}" PARENT_SCOPE)
    endfunction()

    # The names of the commands that the program's help lists under "Commands...:", one per line
    # indented by two spaces; wrapped summaries are indented further.
    function(command_names help output)
        split_lines("${help}" lines)
        set(names "")
        set(inside FALSE)
        foreach(line IN LISTS lines)
            if(line MATCHES "^Commands.*:$")
                set(inside TRUE)
            elseif(inside AND line STREQUAL "")
                break()
            elseif(inside AND line MATCHES "^  ([a-z][a-z0-9-]*)( |$)")
                list(APPEND names "${CMAKE_MATCH_1}")
            endif()
        endforeach()
        set(${output} "${names}" PARENT_SCOPE)
    endfunction()

    # One paragraph of help (a list of lines) as roff: lines indented by a few spaces start an
    # entry ("  --start ADDR   first cartridge address"), lines indented further continue it,
    # other lines are running text.
    function(roff_paragraph lines output)
        set(roff "")
        set(mode "")
        foreach(line IN LISTS lines)
            string(STRIP "${line}" stripped)
            if(line MATCHES "^ [ ]?[ ]?[ ]?[ ]?[ ]?[^ ]")
                # The head ends where two spaces begin the summary, if it has one on this line.
                string(FIND "${stripped}" "  " gap)
                if(gap EQUAL -1)
                    set(head "${stripped}")
                    set(summary "")
                else()
                    string(SUBSTRING "${stripped}" 0 ${gap} head)
                    string(SUBSTRING "${stripped}" ${gap} -1 summary)
                    string(STRIP "${summary}" summary)
                endif()
                if(head MATCHES "^-")
                    roff_option_head("${head}" head)
                else()
                    roff("${head}" head)
                    set(head "\\fB${head}\\fR")
                endif()
                string(APPEND roff ".TP\n${head}\n")
                if(NOT summary STREQUAL "")
                    roff("${summary}" summary)
                    string(APPEND roff "${summary}\n")
                endif()
                set(mode entry)
            elseif(mode STREQUAL "entry" AND line MATCHES "^       ")
                roff("${stripped}" text)
                string(APPEND roff "${text}\n")
            else()
                if(NOT mode STREQUAL "text")
                    string(APPEND roff ".PP\n")
                    set(mode text)
                endif()
                roff("${stripped}" text)
                string(APPEND roff "${text}\n")
            endif()
        endforeach()
        set(${output} "${roff}" PARENT_SCOPE)
    endfunction()

    # One command's help as a roff subsection: its usage line, then its paragraphs. A paragraph
    # that the program's own help holds word for word (the options for every command, the note on
    # numbers) is left out.
    function(command_section program name main_help output)
        run_program(help "${program}" "${name}" --help)
        split_lines("${help}" lines)
        list(APPEND lines "")
        set(roff ".SS \"${name}\"\n")
        set(paragraph "")
        foreach(line IN LISTS lines)
            if(NOT line STREQUAL "")
                list(APPEND paragraph "${line}")
                continue()
            endif()
            if(paragraph STREQUAL "")
                continue()
            endif()
            list(GET paragraph 0 first)
            if(first MATCHES "^Usage: *(.*)$")
                # "Usage: reader-tool dump OUT [options]": program and command bold.
                list(POP_FRONT paragraph)
                list(TRANSFORM paragraph STRIP)
                list(JOIN paragraph " " rest)
                string(STRIP "${CMAKE_MATCH_1} ${rest}" usage)
                if(usage MATCHES "^([^ ]+ [^ ]+)(.*)$")
                    roff("${CMAKE_MATCH_1}" bold)
                    roff("${CMAKE_MATCH_2}" plain)
                    string(APPEND roff ".PP\n\\fB${bold}\\fR${plain}\n")
                else()
                    roff("${usage}" plain)
                    string(APPEND roff ".PP\n${plain}\n")
                endif()
            else()
                list(JOIN paragraph "\n" original)
                string(REPLACE "${kSemicolon}" ";" original "${original}")
                string(REPLACE "${kOpenBracket}" "[" original "${original}")
                string(REPLACE "${kCloseBracket}" "]" original "${original}")
                string(FIND "${main_help}" "${original}" shared)
                if(shared EQUAL -1)
                    roff_paragraph("${paragraph}" text)
                    string(APPEND roff "${text}")
                endif()
            endif()
            set(paragraph "")
        endforeach()
        set(${output} "${roff}" PARENT_SCOPE)
    endfunction()

    # The COMMANDS section, as a help2man include file.
    function(write_commands_include program output)
        run_program(main_help "${program}" --help)
        command_names("${main_help}" names)
        if(NOT names)
            message(FATAL_ERROR "'${program} --help' lists no commands under \"Commands:\"")
        endif()
        set(include "[COMMANDS]\n")
        foreach(name IN LISTS names)
            command_section("${program}" "${name}" "${main_help}" section)
            string(APPEND include "${section}")
        endforeach()
        file(WRITE "${output}" "${include}")
        list(JOIN names ", " listed)
        message(STATUS "${output}: ${listed}")
    endfunction()

    function(compress page output)
        execute_process(COMMAND "${GZIP}" -9nc "${page}" OUTPUT_FILE "${output}.tmp"
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "gzip of ${page} failed")
        endif()
        file(RENAME "${output}.tmp" "${output}")
    endfunction()

    # -DACTION=help2man -DPROGRAM=... -DSUMMARY=... -DPAGE=x.1 -DOUTPUT=x.1.gz -DEPOCH=...
    #   [-DINCLUDES=a.h2m;b.h2m] [-DCOMMANDS=ON] [-DVERSION_STRING=...]
    # -DACTION=hand -DSOURCE=x.1.in -DVERSION=... -DPAGE=x.1 -DOUTPUT=x.1.gz -DEPOCH=...
    # and -DHELP2MAN=... -DGZIP=... where they are not on the PATH.
    if(NOT HELP2MAN)
        set(HELP2MAN help2man)
    endif()
    if(NOT GZIP)
        set(GZIP gzip)
    endif()
    set(ENV{SOURCE_DATE_EPOCH} "${EPOCH}")
    set(ENV{LC_ALL} C)
    set(ENV{TZ} UTC0)
    if(ACTION STREQUAL "help2man")
        set(arguments --no-info --section=1 "--name=${SUMMARY}" "--output=${PAGE}.tmp")
        if(COMMANDS)
            write_commands_include("${PROGRAM}" "${PAGE}.commands.h2m")
            list(APPEND arguments "--include=${PAGE}.commands.h2m")
        endif()
        foreach(include IN LISTS INCLUDES)
            list(APPEND arguments "--include=${include}")
        endforeach()
        if(VERSION_STRING)
            list(APPEND arguments "--version-string=${VERSION_STRING}")
        endif()
        execute_process(COMMAND "${HELP2MAN}" ${arguments} "${PROGRAM}" INPUT_FILE /dev/null
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "help2man could not make the page of ${PROGRAM}")
        endif()
    elseif(ACTION STREQUAL "hand")
        set(READER_MAN_VERSION "${VERSION}")
        string(TIMESTAMP READER_MAN_DATE "%B %Y" UTC)
        configure_file("${SOURCE}" "${PAGE}.tmp" @ONLY)
    else()
        message(FATAL_ERROR "ManPages.cmake: ACTION is help2man or hand, not '${ACTION}'")
    endif()
    file(RENAME "${PAGE}.tmp" "${PAGE}")
    compress("${PAGE}" "${OUTPUT}")
    return()
endif()

# Windows and other cross builds cannot run their programs here; sanitizer and fuzzing builds
# leave the pages out, their programs are not the ones packed.
set(READER_MAN_PAGES_DEFAULT OFF)
if(PROJECT_IS_TOP_LEVEL AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND NOT READER_SANITIZE
   AND NOT READER_FUZZ)
    set(READER_MAN_PAGES_DEFAULT ON)
endif()
option(READER_MAN_PAGES "Make the programs' manual pages (needs help2man and gzip)"
       ${READER_MAN_PAGES_DEFAULT})
if(READER_MAN_PAGES)
    find_program(READER_HELP2MAN help2man)
    find_program(READER_GZIP gzip)
    if(NOT READER_HELP2MAN OR NOT READER_GZIP)
        message(FATAL_ERROR "The manual pages need help2man and gzip (scripts/install-deps.sh "
                            "installs them); or configure with -DREADER_MAN_PAGES=OFF")
    endif()
endif()

set(READER_MAN_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")
set(READER_MAN_DIR "${PROJECT_BINARY_DIR}/man")

function(reader_man_page_from_help)
    cmake_parse_arguments(PARSE_ARGV 0 MAN "COMMANDS" "TARGET;COMPONENT;SUMMARY;VERSION_STRING"
                          "INCLUDE")
    if(NOT READER_MAN_PAGES)
        return()
    endif()
    set(page "${READER_MAN_DIR}/${MAN_TARGET}.1")
    set(includes "")
    foreach(include IN LISTS MAN_INCLUDE)
        get_filename_component(include "${include}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
        list(APPEND includes "${include}")
    endforeach()
    string(REPLACE ";" "\;" includes_argument "${includes}")
    add_custom_command(
        OUTPUT "${page}.gz"
        COMMAND "${CMAKE_COMMAND}" -DACTION=help2man "-DPROGRAM=$<TARGET_FILE:${MAN_TARGET}>"
                "-DSUMMARY=${MAN_SUMMARY}" "-DPAGE=${page}" "-DOUTPUT=${page}.gz"
                "-DEPOCH=${READER_SOURCE_DATE_EPOCH}" "-DINCLUDES=${includes_argument}"
                "-DCOMMANDS=${MAN_COMMANDS}" "-DVERSION_STRING=${MAN_VERSION_STRING}"
                "-DHELP2MAN=${READER_HELP2MAN}" "-DGZIP=${READER_GZIP}" -P "${READER_MAN_SCRIPT}"
        DEPENDS ${MAN_TARGET} ${includes} "${READER_MAN_SCRIPT}"
        COMMENT "Manual page of ${MAN_TARGET} from its help"
        VERBATIM)
    add_custom_target(${MAN_TARGET}-man ALL DEPENDS "${page}.gz")
    install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
            COMPONENT ${MAN_COMPONENT})
    set_property(GLOBAL APPEND PROPERTY READER_PACKAGE_DOCUMENT_TARGETS ${MAN_TARGET}-man)
endfunction()

function(reader_man_page_by_hand)
    cmake_parse_arguments(PARSE_ARGV 0 MAN "" "NAME;COMPONENT;SOURCE" "")
    if(NOT READER_MAN_PAGES)
        return()
    endif()
    set(page "${READER_MAN_DIR}/${MAN_NAME}.1")
    get_filename_component(source "${MAN_SOURCE}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
    add_custom_command(
        OUTPUT "${page}.gz"
        COMMAND "${CMAKE_COMMAND}" -DACTION=hand "-DSOURCE=${source}"
                "-DVERSION=${PROJECT_VERSION}" "-DPAGE=${page}" "-DOUTPUT=${page}.gz"
                "-DEPOCH=${READER_SOURCE_DATE_EPOCH}" "-DGZIP=${READER_GZIP}"
                -P "${READER_MAN_SCRIPT}"
        DEPENDS "${source}" "${READER_MAN_SCRIPT}"
        COMMENT "Manual page of ${MAN_NAME}"
        VERBATIM)
    add_custom_target(${MAN_NAME}-man ALL DEPENDS "${page}.gz")
    install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
            COMPONENT ${MAN_COMPONENT})
    set_property(GLOBAL APPEND PROPERTY READER_PACKAGE_DOCUMENT_TARGETS ${MAN_NAME}-man)
endfunction()
