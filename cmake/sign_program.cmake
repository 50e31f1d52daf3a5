# Signs one Windows program in place with Authenticode (SHA-256), by osslsigncode:
#   cmake -DOSSLSIGNCODE=... -DPROGRAM=X.exe -DCERT=... -DKEY=... [-DPASSWORD_FILE=...]
#         [-DTIMESTAMP_URL=...] -P sign_program.cmake
# The signed copy replaces the program only once osslsigncode has written it whole. When signing fails the program is deleted, so that no unsigned program looks
# like a finished shipping build, and the next build links and signs it again.
foreach(var IN ITEMS OSSLSIGNCODE PROGRAM CERT KEY)
  if(NOT ${var})
    message(FATAL_ERROR "sign_program.cmake: ${var} is not set")
  endif()
endforeach()

get_filename_component(name ${PROGRAM} NAME_WE)
set(args sign -h sha256 -n ${name} -certs ${CERT} -key ${KEY})
if(PASSWORD_FILE)
  list(APPEND args -readpass ${PASSWORD_FILE})
endif()
if(TIMESTAMP_URL)
  list(APPEND args -ts ${TIMESTAMP_URL})
endif()

set(signed ${PROGRAM}.signing)
file(REMOVE ${signed})
execute_process(COMMAND ${OSSLSIGNCODE} ${args} -in ${PROGRAM} -out ${signed}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE ${signed} ${PROGRAM})
  message(FATAL_ERROR "osslsigncode could not sign ${PROGRAM} (${result}):\n${output}")
endif()
file(RENAME ${signed} ${PROGRAM})
