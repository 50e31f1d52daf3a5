# Import libraries whose DLLs load on the first call of one of their functions instead of at start-up
# (mingw-w64's dlltool --output-delaylib, resolved by the C runtime's __delayLoadHelper2, which calls
# LoadLibrary with the bare name). The programs call SetDefaultDllDirectories(System32) first, so
# such a DLL comes from the system folder only; a DLL loaded at start-up would be looked for in the
# program's own folder first (a Downloads folder) unless it is one of the system's KnownDLLs.
# corvane_delay_imports(name...): an imported library corvane_delay_<name> per cmake/delay_imports/<name>.def.
function(corvane_delay_imports)
  if(NOT CMAKE_DLLTOOL)
    find_program(CMAKE_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool dlltool REQUIRED)
  endif()
  foreach(name IN LISTS ARGN)
    if(TARGET corvane_delay_${name})
      continue()
    endif()
    set(def ${PROJECT_SOURCE_DIR}/cmake/delay_imports/${name}.def)
    set(lib ${CMAKE_BINARY_DIR}/delay_imports/lib${name}_delay.a)
    add_custom_command(OUTPUT ${lib}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay_imports
      COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${name}.dll --output-delaylib ${lib}
      DEPENDS ${def}
      COMMENT "Delay-loaded import library of ${name}.dll")
    add_custom_target(corvane_delay_${name}_lib DEPENDS ${lib})
    add_library(corvane_delay_${name} STATIC IMPORTED GLOBAL)
    set_target_properties(corvane_delay_${name} PROPERTIES IMPORTED_LOCATION ${lib})
    add_dependencies(corvane_delay_${name} corvane_delay_${name}_lib)
  endforeach()
endfunction()
