# Appends the package's manifest to a program before it is signed, so the
# signature covers it (cmake -P script). The block's format is described in
# engine/PackageManifest.h; the program installs a Data folder only when it
# matches it exactly.
#   -DPROGRAM=<the staged SetUp.exe> -DDATA_DIR=<the staged Data folder>
file(GLOB names LIST_DIRECTORIES true RELATIVE "${DATA_DIR}" "${DATA_DIR}/*")
list(SORT names)
set(text "Tarnix package manifest 1\n")
foreach(name IN LISTS names)
  set(path "${DATA_DIR}/${name}")
  if(IS_DIRECTORY "${path}" OR IS_SYMLINK "${path}")
    message(FATAL_ERROR "package: Data/${name} is not a plain file; the manifest names files only")
  endif()
  # The program sees names in its ANSI code page; only ASCII reads the same
  # in every one.
  if(NOT name MATCHES "^[ -~]+$" OR name MATCHES "[\\\\/:*?\"<>|]")
    message(FATAL_ERROR "package: Data/${name}: a manifest name must be plain ASCII")
  endif()
  file(SHA256 "${path}" digest)
  file(SIZE "${path}" size)
  string(APPEND text "${digest} ${size} ${name}\n")
endforeach()

# A little-endian number of BYTES bytes at OFFSET of the program.
function(read_le offset bytes out)
  file(READ "${PROGRAM}" hex OFFSET ${offset} LIMIT ${bytes} HEX)
  set(value 0)
  math(EXPR last "${bytes} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# Appended to a signed program, the block would lie past what the
# signature covers; appended twice, the first would be lost.
read_le(60 4 pe)
math(EXPR optional "${pe} + 24")
read_le(${optional} 2 magic)
if(magic EQUAL 523)  # PE32+
  math(EXPR certificates "${optional} + 112 + 4 * 8 + 4")
else()
  math(EXPR certificates "${optional} + 96 + 4 * 8 + 4")
endif()
read_le(${certificates} 4 certificates_size)
if(NOT certificates_size EQUAL 0)
  message(FATAL_ERROR "package: ${PROGRAM} is signed already; its manifest must come first")
endif()
file(SIZE "${PROGRAM}" program_size)
math(EXPR tail_at "${program_size} - 8")
file(READ "${PROGRAM}" tail OFFSET ${tail_at} LIMIT 8 HEX)
if(tail STREQUAL "5458504b474d4631")  # "TXPKGMF1"
  message(FATAL_ERROR "package: ${PROGRAM} carries a manifest already")
endif()

# Line breaks up to an 8-byte boundary, then the block's length in 8
# decimal digits and the magic.
string(LENGTH "${text}" text_length)
math(EXPR padding "(8 - (${program_size} + ${text_length} + 16) % 8) % 8")
if(padding GREATER 0)
  string(REPEAT "\n" ${padding} pad)
  string(APPEND text "${pad}")
endif()
math(EXPR block_length "${text_length} + ${padding} + 16")
string(LENGTH "${block_length}" digits)
math(EXPR zeros "8 - ${digits}")
string(REPEAT "0" ${zeros} lead)
file(APPEND "${PROGRAM}" "${text}${lead}${block_length}TXPKGMF1")
list(LENGTH names count)
message(STATUS "package: manifest of ${count} Data files written into ${PROGRAM}")
