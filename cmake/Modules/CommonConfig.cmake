# Compiler flags shared by every target of the project, through the INTERFACE target
# updater_flags. Warnings per compiler; GLIMMERPANE_WERROR turns them into errors (CI).
# GLIMMERPANE_SANITIZE adds ASan and UBSan to every target, stopping at the first report.
add_library(updater_flags INTERFACE)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(updater_flags INTERFACE
        -Wall -Wextra $<$<BOOL:${GLIMMERPANE_WERROR}>:-Werror>)
    if(GLIMMERPANE_SANITIZE)
        # GCC's "undefined" leaves out float-to-int overflow; the progress bar converts.
        set(sanitize_flags -fsanitize=address,undefined,float-cast-overflow
            -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_compile_options(updater_flags INTERFACE ${sanitize_flags})
        target_link_options(updater_flags INTERFACE ${sanitize_flags})
        # The sanitize test preset sends every process's report here; a missing folder would
        # turn a report into a failure to open its log.
        file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/sanitizer-logs)
    endif()
elseif(MSVC)
    target_compile_options(updater_flags INTERFACE
        /W4 /permissive- /utf-8 $<$<BOOL:${GLIMMERPANE_WERROR}>:/WX>)
endif()
if(GLIMMERPANE_SANITIZE AND NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "GLIMMERPANE_SANITIZE needs GCC or Clang")
endif()

# Fuzzing: the whole build instrumented for libFuzzer's coverage, with ASan and UBSan.
if(GLIMMERPANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "GLIMMERPANE_FUZZ needs clang: configure with CXX=clang++")
    endif()
    set(fuzz_flags -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    target_compile_options(updater_flags INTERFACE ${fuzz_flags})
    target_link_options(updater_flags INTERFACE ${fuzz_flags})
endif()

target_compile_definitions(updater_flags INTERFACE
    $<$<BOOL:${GLIMMERPANE_STAGING_OVERRIDES}>:GLIMMERPANE_STAGING_OVERRIDES>
    GLIMMERPANE_VERSION="${PROJECT_VERSION}"
    GLIMMERPANE_VERSION_SERVICE_HOST="${GLIMMERPANE_VERSION_SERVICE_HOST}"
    GLIMMERPANE_OFFICIAL_SITE="${GLIMMERPANE_OFFICIAL_SITE}"
    GLIMMERPANE_UPDATE_PUBLIC_KEY="${GLIMMERPANE_UPDATE_PUBLIC_KEY}")

# What the shipped code is held to; tools and tests may be looser.
set(GLIMMERPANE_STRICT_QT_DEFINITIONS
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
