# corvane_webview2_sdk(TARGET): an interface target carrying the include folders of the WebView2
# SDK's declarations (WebView2.h) for the Windows build.
#
# The SDK is Microsoft's NuGet package Microsoft.Web.WebView2, pinned in
# src/ui/win32/sdk/WebView2Sdk.csproj. At configure time, when the build tree does not hold that
# version yet, `dotnet restore` of a copy of that project downloads it into
# <build>/webview2-sdk/packages; later configures find it there and run nothing. NuGet's own HTTP
# cache serves a fresh build tree without downloading again. Only the headers are used: nothing of
# the package is linked or shipped.
function(corvane_webview2_sdk target)
  set(project ${PROJECT_SOURCE_DIR}/src/ui/win32/sdk/WebView2Sdk.csproj)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${project})
  file(STRINGS ${project} version_line REGEX "<WebView2SdkVersion>")
  string(REGEX REPLACE ".*<WebView2SdkVersion>([^<]+)</WebView2SdkVersion>.*" "\\1" version "${version_line}")
  set(work ${CMAKE_BINARY_DIR}/webview2-sdk)
  set(include ${work}/packages/microsoft.web.webview2/${version}/build/native/include)
  if(NOT EXISTS ${include}/WebView2.h)
    find_program(CORVANE_DOTNET dotnet)
    if(NOT CORVANE_DOTNET)
      message(FATAL_ERROR "The Windows build needs the .NET SDK (dotnet) to fetch the WebView2 SDK "
                          "${version} from NuGet")
    endif()
    message(STATUS "Restoring the WebView2 SDK ${version} with dotnet")
    configure_file(${project} ${work}/WebView2Sdk.csproj COPYONLY)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
              DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
              ${CORVANE_DOTNET} restore ${work}/WebView2Sdk.csproj --packages ${work}/packages
              --verbosity quiet --nologo
      WORKING_DIRECTORY ${work}
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT EXISTS ${include}/WebView2.h)
      message(FATAL_ERROR "dotnet restore of the WebView2 SDK ${version} failed (${result}):\n${output}")
    endif()
  endif()
  add_library(${target} INTERFACE)
  # The shim folder first: it supplies the one header that WebView2.h names in the Windows SDK's
  # spelling. Both are system folders: the SDK's own warnings are not ours.
  target_include_directories(${target} SYSTEM INTERFACE ${PROJECT_SOURCE_DIR}/src/ui/win32/sdk/include ${include})
  # The header itself, for tools that read the declarations (the tests' generated stubs).
  set_target_properties(${target} PROPERTIES CORVANE_WEBVIEW2_HEADER ${include}/WebView2.h)
endfunction()
