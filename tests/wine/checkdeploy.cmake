# Checks that a deploy folder runs on a machine without Qt: every DLL that its programs and
# plugins import lies beside the program or is part of Windows (one of Wine's own DLLs, or an
# api-ms-win-* set that Windows resolves with no file behind it), and the plugins the updater
# loads are there. The program carries its application manifest as resource 1 of RT_MANIFEST
# (24), read back from the built file: asInvoker, Windows 10 and 11, per-monitor-v2 DPI
# awareness as Qt 6 sets it, long paths.
# cmake -DDEPLOY=<folder> -DOBJDUMP=<x86_64-w64-mingw32-objdump> -DWINDOWS_DLLS=<Wine's PE folder>
#       -P checkdeploy.cmake
cmake_minimum_required(VERSION 3.21) # IN_LIST

if(NOT EXISTS "${DEPLOY}/GlimmerpaneUpdater.exe")
    string(CONCAT reason "no Windows program in ${DEPLOY}: scripts/build-windows --staging, "
        "with Qt for Windows from ../shared/windows-qt/build.sh or GLIMMERPANE_QT_WINDOWS")
    if(NOT DEFINED ENV{CI})
        message("SKIP: ${reason}")
        return()
    endif()
    message(FATAL_ERROR ${reason})
endif()
file(GLOB beside RELATIVE "${DEPLOY}" "${DEPLOY}/*.dll")
file(GLOB windows RELATIVE "${WINDOWS_DLLS}" "${WINDOWS_DLLS}/*.dll")
string(TOLOWER "${beside};${windows}" available)
file(GLOB_RECURSE binaries "${DEPLOY}/*.exe" "${DEPLOY}/*.dll")
set(missing "")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND ${OBJDUMP} -p ${binary} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
    if(result)
        message(FATAL_ERROR "objdump cannot read ${binary}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "DLL Name: " "" dll "${import}")
        string(TOLOWER "${dll}" dll)
        if(NOT dll IN_LIST available AND NOT dll MATCHES "^api-ms-win-")
            list(APPEND missing "${binary} needs ${dll}")
        endif()
    endforeach()
endforeach()
foreach(plugin platforms/qwindows.dll tls/qschannelbackend.dll iconengines/qsvgicon.dll
               imageformats/qsvg.dll styles/qwindowsvistastyle.dll)
    if(NOT EXISTS "${DEPLOY}/${plugin}")
        list(APPEND missing "the plugin ${plugin}")
    endif()
endforeach()
if(missing)
    list(JOIN missing "\n" missing)
    message(FATAL_ERROR "missing from ${DEPLOY}:\n${missing}")
endif()
list(LENGTH binaries count)
message(STATUS "${count} programs and DLLs, every import found")

set(program "${DEPLOY}/GlimmerpaneUpdater.exe")
execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump)
if(NOT dump MATCHES "Entry: ID: 0x000018, Value: [^\n]+\n[^\n]+Name Table[^\n]+IDs: 1\n[^\n]+Entry: ID: 0x000001,")
    message(FATAL_ERROR "${program} has no manifest as resource 1 of RT_MANIFEST")
endif()
file(STRINGS ${program} manifest REGEX "requestedExecutionLevel|supportedOS|dpiAware|longPath")
foreach(expected [[level="asInvoker"]] "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
                 ">true/pm</dpiAware>" ">PerMonitorV2</dpiAwareness>" ">true</longPathAware>")
    string(FIND "${manifest}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the manifest of ${program} lacks ${expected}:\n${manifest}")
    endif()
endforeach()
message(STATUS "the application manifest is resource 1 of RT_MANIFEST")
