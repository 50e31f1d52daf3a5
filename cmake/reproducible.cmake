# Reproducible Windows programs: one commit built in any folder, at any time, gives the same bytes.
# Nothing of the build's place or time may reach an output: paths are written relative to the
# source or build folder, the linker writes no time stamp into the PE header, and archives carry no
# dates, owners or modes. The page that the setup embeds is the other input (scripts/build_page.sh:
# fixed file names, no dates); scripts/check_reproducible.sh builds twice and compares.
if(WIN32)
  # The later map wins for a path under both (the build folder lies inside the source folder).
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                      -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  # __DATE__, __TIME__ and __TIMESTAMP__ would write the time of the compile: they fail it instead.
  add_compile_options(-Werror=date-time)
  add_link_options(-Wl,--no-insert-timestamp)
  # Deterministic archives (ar D: zero dates, uid, gid and modes), whatever binutils defaults to.
  foreach(lang IN ITEMS C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
  endforeach()
endif()
