# The CDN base URL of a shipping build must be https: the programs take the manifest and every
# file from it, and nothing else protects them in transit. Builds for the tests and the demo talk
# to a loopback server over http and leave CORVANE_REQUIRE_HTTPS_CDN off.
# Included by CMakeLists.txt, or run alone (tests):
#   cmake -DCORVANE_CDN_BASE_URL=... -DCORVANE_REQUIRE_HTTPS_CDN=ON -P cmake/cdn_url.cmake
function(corvane_check_cdn_url url require_https)
  if(require_https AND NOT url MATCHES "^https://[^/]+")
    message(FATAL_ERROR "CORVANE_CDN_BASE_URL \"${url}\" is not an https URL; this preset ships and needs one.")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  corvane_check_cdn_url("${CORVANE_CDN_BASE_URL}" "${CORVANE_REQUIRE_HTTPS_CDN}")
endif()
