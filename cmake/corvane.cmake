# Shared helpers for every target of the project.

# Warnings and sanitizers, as private flags of one target (and the signature of a shipped program).
function(corvane_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
  endif()
  # The shipped programs are signed after each link when a certificate is configured (cmake/sign.cmake).
  if(target IN_LIST CORVANE_SIGNED_PROGRAMS)
    corvane_sign_program(${target})
  endif()
endfunction()

if(CORVANE_SANITIZE)
  string(REPLACE ";" "," _san "${CORVANE_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_san})
  if("undefined" IN_LIST CORVANE_SANITIZE)
    # Our instrumented copies of libstdc++'s inline functions interpose on the ones inside
    # WebKitGTK's libraries, whose objects then fail the vptr check: a false alarm outside our code.
    add_compile_options(-fno-sanitize=vptr)
  endif()
endif()

if(WIN32)
  # Windows 10 API level, wide-character system calls, and no min/max macros from windows.h.
  add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX)
  # The W versions of every system macro, and wide entry points (wmain, wWinMain) for every
  # program: -municode on compile and on link.
  add_compile_options(-municode)
  add_link_options(-municode)
  # Shipping programs carry no symbols.
  add_link_options($<$<CONFIG:Release>:-s>)
endif()

# corvane_library(NAME SOURCES... [DEPS libs...]): one subsystem library with the src/ folder
# as its include root, so that code includes "json/json_cursor.h", "os/fs.h" and so on.
function(corvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  corvane_target_defaults(${name})
endfunction()

# corvane_test(NAME SOURCES... DEPS libs... [LABELS l...] [TIMEOUT s] [WINDOWS_USER_STATE]): one
# GoogleTest binary whose cases are registered with CTest one by one. WINDOWS_USER_STATE: on Windows
# the cases change state that the whole user shares (registry keys of fixed names, the Desktop and
# Start menu folders, named mutexes), so CTest never runs two such cases at once. NEEDS_DISPLAY: on
# Windows the cases open windows, which Wine can only do with an X display: they run one at a time
# in a Wine prefix of their own (build/windows/wineprefix-display), whose virtual display (Xvfb)
# scripts/wine_run.sh keeps as long as the prefix's server: Wine's desktop belongs to the whole
# session of a prefix, and one started without a display, or left on a display that has gone,
# refuses them windows. Stop both with
# CORVANE_WINEPREFIX=build/windows/wineprefix-display scripts/wine_run.sh --stop.
# PORT_LOCK port: on Windows the cases listen on that fixed loopback port, which the tests of other
# build trees use as well, so the program runs under flock /tmp/corvane-<port>.lock.
# WINE_DLL_OVERRIDES: load orders that Wine applies to the cases' programs and every program they
# start (WINEDLLOVERRIDES, which Wine reads from the Unix environment, never from a variable a
# Windows program sets for its children).
function(corvane_test name)
  cmake_parse_arguments(ARG "WINDOWS_USER_STATE;NEEDS_DISPLAY" "TIMEOUT;PORT_LOCK;WINE_DLL_OVERRIDES"
                        "SOURCES;DEPS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  if(WIN32)
    # A wide entry point (-municode) instead of GoogleTest's main(); the cases are listed at test
    # time, so that building never waits for Wine.
    target_link_libraries(${name} PRIVATE corvane_gtest_wmain)
    set(discovery_mode PRE_TEST)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
    set(discovery_mode POST_BUILD)
  endif()
  corvane_target_defaults(${name})
  set(lock)
  if(WIN32 AND ARG_WINDOWS_USER_STATE)
    set(lock RESOURCE_LOCK corvane_windows_user_state)
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING AND ARG_NEEDS_DISPLAY)
    # The emulator is read when the cases are discovered, so it is set before.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
      "env;CORVANE_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-display;CORVANE_WINE_DISPLAY=1;${CMAKE_CROSSCOMPILING_EMULATOR}")
    set(lock RESOURCE_LOCK corvane_display)  # (not combined with WINDOWS_USER_STATE)
  endif()
  if(WIN32 AND CMAKE_CROSSCOMPILING AND ARG_PORT_LOCK)
    # Listens on a fixed loopback port that tests of other build trees use too: the program runs
    # holding that port's lock file (not combined with NEEDS_DISPLAY).
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
      "flock;/tmp/corvane-${ARG_PORT_LOCK}.lock;${CMAKE_CROSSCOMPILING_EMULATOR}")
  endif()
  set(environment)
  if(WIN32 AND ARG_WINE_DLL_OVERRIDES)
    set(environment ENVIRONMENT "CORVANE_WINE_DLL_OVERRIDES=${ARG_WINE_DLL_OVERRIDES}")
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT} ${lock} ${environment}
    DISCOVERY_TIMEOUT 120 DISCOVERY_MODE ${discovery_mode})
endfunction()

# Adds every direct subfolder of the current source folder that has a CMakeLists.txt.
macro(corvane_add_subfolders)
  file(GLOB _subfolders CONFIGURE_DEPENDS LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_dir IN LISTS _subfolders)
    if(IS_DIRECTORY ${_dir} AND EXISTS ${_dir}/CMakeLists.txt)
      add_subdirectory(${_dir})
    endif()
  endforeach()
endmacro()
