# Authenticode signatures of the shipped Windows programs, made by osslsigncode after each link.
# Without a certificate nothing is signed and the build is as it would be without this file.
# The shipping preset (windows-release) fills these from the environment variables of the same names.
set(CORVANE_SIGN_CERT "" CACHE FILEPATH
    "Code signing certificate with its chain (PEM or DER) for the Windows programs; empty: not signed")
set(CORVANE_SIGN_KEY "" CACHE FILEPATH "Private key of CORVANE_SIGN_CERT (PEM or DER)")
set(CORVANE_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the password of CORVANE_SIGN_KEY; empty: the key is not encrypted")
set(CORVANE_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server that countersigns each signature; empty: none (offline builds)")

if(CORVANE_SIGN_CERT AND NOT CORVANE_SIGN_KEY)
  message(FATAL_ERROR "CORVANE_SIGN_CERT is set without CORVANE_SIGN_KEY")
endif()
if(CORVANE_SIGN_CERT AND NOT WIN32)
  message(FATAL_ERROR "CORVANE_SIGN_CERT signs Windows programs: set it in a Windows build only")
endif()
if(CORVANE_SIGN_CERT)
  find_program(CORVANE_OSSLSIGNCODE osslsigncode REQUIRED)
  foreach(file IN ITEMS CORVANE_SIGN_CERT CORVANE_SIGN_KEY CORVANE_SIGN_PASSWORD_FILE)
    if(${file} AND NOT EXISTS ${${file}})
      message(FATAL_ERROR "${file}: no file ${${file}}")
    endif()
  endforeach()
endif()

# The shipped programs. corvane_target_defaults() signs each of them in its own folder (a
# post-build step can only be added where its target is made).
set(CORVANE_SIGNED_PROGRAMS corvane-setup corvane-update)

# corvane_sign_program(target): signs the program in place once it is linked
# (cmake/sign_program.cmake); nothing without a certificate.
function(corvane_sign_program target)
  if(NOT CORVANE_SIGN_CERT)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${CORVANE_OSSLSIGNCODE} -DPROGRAM=$<TARGET_FILE:${target}>
            -DCERT=${CORVANE_SIGN_CERT} -DKEY=${CORVANE_SIGN_KEY} -DPASSWORD_FILE=${CORVANE_SIGN_PASSWORD_FILE}
            -DTIMESTAMP_URL=${CORVANE_SIGN_TIMESTAMP_URL} -P ${PROJECT_SOURCE_DIR}/cmake/sign_program.cmake
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()
