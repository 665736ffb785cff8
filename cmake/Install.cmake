# The device library as an installable CMake package. A front-end finds it with
#
#   find_package(ReaderDevice 1.0 REQUIRED)
#   target_link_libraries(my-frontend PRIVATE reader::device)     # the library itself
#   target_link_libraries(my-tests PRIVATE reader::emulator)      # the emulated reader
#
# The emulated reader comes along because front-end developers, like us, have no hardware: it
# plays a reader of any variant in process. Headers keep their folder layout under
# include/reader, and are included as "drivers/device_library.hpp", "emulator/emulated_host.hpp".
# Everything here is the "dev" install component (the Debian package libreader-device-dev, see
# cmake/Packaging.cmake).
include(CMakePackageConfigHelpers)

set(READER_PACKAGE_NAME ReaderDevice)
set(READER_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/${READER_PACKAGE_NAME}")
set(READER_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/reader")

# reader::text (the texts the Linux backend and the emulated reader share with the front-end) and
# reader::bytes (the byte layout helpers) come along as what the others are built on.
set_target_properties(reader_text PROPERTIES EXPORT_NAME text)
set_target_properties(reader_bytes PROPERTIES EXPORT_NAME bytes)
set_target_properties(reader_platform PROPERTIES EXPORT_NAME platform)
set_target_properties(reader_device PROPERTIES EXPORT_NAME device)
set_target_properties(reader_emulator PROPERTIES EXPORT_NAME emulator)
target_include_directories(reader_text PUBLIC $<INSTALL_INTERFACE:${READER_INSTALL_INCLUDEDIR}>)
target_include_directories(reader_bytes INTERFACE $<INSTALL_INTERFACE:${READER_INSTALL_INCLUDEDIR}>)
target_include_directories(reader_platform PUBLIC
    $<INSTALL_INTERFACE:${READER_INSTALL_INCLUDEDIR}>)

# A sanitizer build installs instrumented libraries; whoever links them needs the runtimes.
if(READER_SANITIZE)
    target_link_options(reader_platform INTERFACE
        $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
endif()

install(TARGETS reader_text reader_bytes reader_platform reader_device reader_emulator
    EXPORT ${READER_PACKAGE_NAME}Targets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    INCLUDES DESTINATION ${READER_INSTALL_INCLUDEDIR})

foreach(folder text platform link commands drivers emulator)
    install(DIRECTORY "${PROJECT_SOURCE_DIR}/${folder}/"
        DESTINATION "${READER_INSTALL_INCLUDEDIR}/${folder}"
        COMPONENT dev
        FILES_MATCHING PATTERN "*.hpp")
endforeach()

install(EXPORT ${READER_PACKAGE_NAME}Targets
    NAMESPACE reader::
    DESTINATION ${READER_INSTALL_CMAKEDIR}
    COMPONENT dev)

configure_package_config_file(
    "${CMAKE_CURRENT_LIST_DIR}/${READER_PACKAGE_NAME}Config.cmake.in"
    "${PROJECT_BINARY_DIR}/${READER_PACKAGE_NAME}Config.cmake"
    INSTALL_DESTINATION ${READER_INSTALL_CMAKEDIR})
write_basic_package_version_file(
    "${PROJECT_BINARY_DIR}/${READER_PACKAGE_NAME}ConfigVersion.cmake"
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/${READER_PACKAGE_NAME}Config.cmake"
    "${PROJECT_BINARY_DIR}/${READER_PACKAGE_NAME}ConfigVersion.cmake"
    DESTINATION ${READER_INSTALL_CMAKEDIR}
    COMPONENT dev)
