# Included by CPack for each generator (CPACK_PROJECT_CONFIG_FILE), before it installs the files
# and strips the programs: every tool it runs from here on takes its time stamps from the source
# date (cmake/Reproducible.cmake). It matters for strip, which writes the time of stripping into a
# Windows program's PE header unless SOURCE_DATE_EPOCH gives another.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_READER_SOURCE_DATE_EPOCH}")
