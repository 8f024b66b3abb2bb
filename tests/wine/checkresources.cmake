# Compiles the executable's generated .rc with the cross toolchain's windres and checks that the
# object holds the version record (file and product version VERSION, as numbers and as text) and
# the icon group of 256, 48, 32 and 16 pixels.
# cmake -DWINDRES=<windres> -DRC=<file.rc> -DOBJECT=<file.o> -DVERSION=<a.b.c> -P checkresources.cmake

execute_process(COMMAND ${WINDRES} --input ${RC} --output ${OBJECT} --output-format coff
    RESULT_VARIABLE result ERROR_VARIABLE errors)
if(result)
    message(FATAL_ERROR "windres could not compile ${RC}:\n${errors}")
endif()
file(READ ${OBJECT} object HEX)

# Two hexadecimal digits of one byte.
function(byte_hex value out)
    math(EXPR value "${value} & 255" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0?0x" "" digits "${value}")
    string(LENGTH "${digits}" length)
    if(length EQUAL 1)
        set(digits "0${digits}")
    endif()
    set(${out} ${digits} PARENT_SCOPE)
endfunction()

function(expect what hex)
    string(FIND "${object}" "${hex}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${OBJECT} lacks ${what}")
    endif()
    message(STATUS "found ${what}")
endfunction()

# VS_FIXEDFILEINFO: signature, structure version, then file and product version as two
# little-endian words each (major.minor, patch.tweak).
string(REPLACE "." ";" parts "${VERSION}.0")
set(words "")
foreach(part IN LISTS parts)
    byte_hex(${part} low)
    math(EXPR high "${part} >> 8")
    byte_hex(${high} high)
    list(APPEND words "${low}${high}")
endforeach()
list(GET words 0 major)
list(GET words 1 minor)
list(GET words 2 patch)
list(GET words 3 tweak)
set(fixed "${minor}${major}${tweak}${patch}")
expect("the fixed version record ${VERSION}.0" "bd04effe00000100${fixed}${fixed}")

# The string table's keys and value, in UTF-16LE.
foreach(text FileVersion ProductVersion "${VERSION}.0")
    string(HEX "${text}" hex)
    string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
    expect("the text \"${text}\"" "${hex}")
endforeach()

# The icon group: header (type 1, four images), then each image's width and height (0 for 256),
# no palette, one plane, 32 bits per pixel.
set(group "000001000400")
expect("the icon group's header" "${group}")
foreach(size 256 48 32 16)
    byte_hex(${size} side)
    expect("the ${size} pixel icon" "${side}${side}0000010020")
endforeach()
