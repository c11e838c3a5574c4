# The package checks, run by ctest as cmake -P with -DCHECK=tree, manual or desktop.

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

# The install tree: exactly the expected files, the programs executable, each PNG icon of
# the size its folder names.
function(check_tree)
  file(REMOVE_RECURSE "${PREFIX}")
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    fail("cmake --install failed: " "${errors}")
  endif()

  set(expected ${FILES} ${PROGRAMS})
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
  set(missing ${expected})
  list(REMOVE_ITEM missing ${found})
  set(unexpected ${found})
  list(REMOVE_ITEM unexpected ${expected})
  if(missing OR unexpected)
    fail("install tree differs. Missing: [" "${missing}" "] Unexpected: [" "${unexpected}" "]")
  endif()

  foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND test -x "${PREFIX}/${program}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      fail("${program} is not executable")
    endif()
  endforeach()

  foreach(file IN LISTS FILES)
    if(file MATCHES "/([0-9]+)x([0-9]+)/apps/[^/]+\\.png$")
      set(size ${CMAKE_MATCH_1})
      # A PNG starts with its 8-byte signature and the IHDR chunk: length, type, width and
      # height as 32-bit big-endian numbers.
      file(READ "${PREFIX}/${file}" header HEX LIMIT 24)
      string(SUBSTRING "${header}" 0 16 signature)
      string(SUBSTRING "${header}" 32 8 width_hex)
      string(SUBSTRING "${header}" 40 8 height_hex)
      math(EXPR width "0x${width_hex}")
      math(EXPR height "0x${height_hex}")
      if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size
         OR NOT height EQUAL size)
        fail("${file} is not a ${size}x${size} PNG (${width}x${height})")
      endif()
    endif()
  endforeach()
endfunction()

# The manual page formats without a single warning.
function(check_manual)
  execute_process(COMMAND groff -man -ww -z "${MANUAL}"
                  RESULT_VARIABLE result ERROR_VARIABLE warnings)
  if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
    fail("groff on ${MANUAL}: " "${warnings}")
  endif()
endfunction()

# The menu entry: no errors and no warnings (hints are advice and pass), and the lines that
# open files and folders handed over.
function(check_desktop)
  execute_process(COMMAND desktop-file-validate "${DESKTOP}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
  if(NOT result EQUAL 0 OR report MATCHES "(error|warning):")
    fail("desktop-file-validate: " "${report}")
  endif()
  # Files and folders handed over by a file manager ("Open with Keelpack") reach the program.
  file(READ "${DESKTOP}" entry)
  set(exec_line "Exec=keelpack %F")
  set(mime_line "MimeType=image/jpeg;inode/directory;")
  foreach(name exec_line mime_line)
    string(FIND "\n${entry}" "\n${${name}}\n" at)
    if(at EQUAL -1)
      fail("${DESKTOP} lacks " "${${name}}")
    endif()
  endforeach()
endfunction()

if(CHECK STREQUAL "tree")
  check_tree()
elseif(CHECK STREQUAL "manual")
  check_manual()
elseif(CHECK STREQUAL "desktop")
  check_desktop()
else()
  fail("unknown check '${CHECK}'")
endif()
