# Run by CPack (CPACK_POST_BUILD_SCRIPTS) after it has made the packages: makes each one again, from
# its own contents, so that two builds of one commit give the same bytes wherever they run.
#
# CPack's own archives depend on the machine that packs them: the members follow the order in
# which the file system lists the staging folder (tmpfs and ext4 differ), a .deb's Installed-Size
# counts the file system's blocks, and zip entries carry the packer's uid and local time. Here
#   - a .deb is unpacked (dpkg-deb -R) and built again with dpkg-deb --root-owner-group, which
#     sorts its members; Installed-Size is counted as dpkg-gencontrol counts it (1 KiB units per
#     file, 1 per folder) and md5sums is written in name order;
#   - a zip is unpacked and zipped again with Info-ZIP's zip -X (no uid, gid or extra time
#     fields), its members in name order, with the time read as UTC;
# and every member gets the modes u+rwX,go+rX,go-w and the time SOURCE_DATE_EPOCH (CPACK_READER_
# SOURCE_DATE_EPOCH, the commit's time: cmake/Reproducible.cmake). Contents and names stay as
# CPack made them.
cmake_minimum_required(VERSION 3.25)

set(epoch "${CPACK_READER_SOURCE_DATE_EPOCH}")
if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "ReproduciblePackages.cmake: no CPACK_READER_SOURCE_DATE_EPOCH")
endif()
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
set(ENV{TZ} UTC0)
set(ENV{LC_ALL} C)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "'${command}' failed (${status})")
    endif()
endfunction()

# Every member of the tree below folder: the same modes and the same time.
function(normalise_tree folder)
    run(chmod -R u+rwX,go+rX,go-w "${folder}")
    run(find "${folder}" -exec touch -h -d "@${epoch}" {} +)
endfunction()

function(rebuild_deb deb work)
    file(REMOVE_RECURSE "${work}")
    get_filename_component(parent "${work}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    run(dpkg-deb -R "${deb}" "${work}")
    file(REMOVE "${work}/DEBIAN/md5sums")

    file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${work}" "${work}/*")
    list(FILTER entries EXCLUDE REGEX "^DEBIAN(/|$)")
    list(SORT entries)
    set(kib 1)  # the package's root folder
    set(md5sums "")
    foreach(entry IN LISTS entries)
        if(IS_DIRECTORY "${work}/${entry}" AND NOT IS_SYMLINK "${work}/${entry}")
            math(EXPR kib "${kib} + 1")
        else()
            file(SIZE "${work}/${entry}" bytes)
            math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
            if(NOT IS_SYMLINK "${work}/${entry}")
                file(MD5 "${work}/${entry}" md5)
                string(APPEND md5sums "${md5}  ${entry}\n")
            endif()
        endif()
    endforeach()
    file(WRITE "${work}/DEBIAN/md5sums" "${md5sums}")

    file(READ "${work}/DEBIAN/control" control)
    string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control
                         "${control}")
    file(WRITE "${work}/DEBIAN/control" "${control}")

    normalise_tree("${work}")
    run(dpkg-deb --root-owner-group -Zgzip --build "${work}" "${deb}.tmp")
    file(RENAME "${deb}.tmp" "${deb}")
    file(REMOVE_RECURSE "${work}")
endfunction()

function(rebuild_zip zip work)
    file(REMOVE_RECURSE "${work}")
    file(MAKE_DIRECTORY "${work}")
    file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${work}")
    normalise_tree("${work}")
    file(GLOB_RECURSE members LIST_DIRECTORIES false RELATIVE "${work}" "${work}/*")
    list(SORT members)
    list(JOIN members "\n" names)
    file(WRITE "${work}.list" "${names}\n")
    file(REMOVE "${zip}.tmp")
    execute_process(COMMAND zip -X -D -9 -q "${zip}.tmp" -@ WORKING_DIRECTORY "${work}"
                    INPUT_FILE "${work}.list" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "zip of ${zip} failed (${status}); is Info-ZIP's zip installed?")
    endif()
    file(RENAME "${zip}.tmp" "${zip}")
    file(REMOVE_RECURSE "${work}" "${work}.list")
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name "${package}" NAME)
    set(work "${CPACK_TOPLEVEL_DIRECTORY}/reproducible/${name}.d")
    if(package MATCHES "\\.deb$")
        rebuild_deb("${package}" "${work}")
    elseif(package MATCHES "\\.zip$")
        rebuild_zip("${package}" "${work}")
    else()
        message(FATAL_ERROR "ReproduciblePackages.cmake: no way to rebuild ${package}")
    endif()
    message(STATUS "Rebuilt ${name} (members sorted, time ${epoch})")
endforeach()
