# Run by CPack on the staged files before it packs them: removes the
# sections that Debian's own strip removes (.comment and .note) from every
# ELF file, which CMake's plain strip keeps.
find_program(OBJCOPY objcopy REQUIRED)
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND ${OBJCOPY} --remove-section=.comment --remove-section=.note "${file}"
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "objcopy could not strip ${file}")
    endif()
  endif()
endforeach()
