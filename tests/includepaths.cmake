# Run by ctest (see tests/CMakeLists.txt) as
#   cmake -DROOT=<source folder> -P includepaths.cmake
# Fails when a source of src/, tests/, tools/ or bench/ includes a quoted path
# that climbs out of its own folder ("../store/db/database.h"): such an include
# reaches past the include roots a target is given, so a lower layer could see a
# higher one without the build noticing. Name the file from its target's root
# instead ("store/db/database.h").
if(NOT ROOT)
  message(FATAL_ERROR "includepaths.cmake: pass -DROOT=<source folder>")
endif()
set(found "")
foreach(folder src tests tools bench)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${ROOT}"
    "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp" "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.cc")
  foreach(file IN LISTS files)
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      list(APPEND found "  ${file}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n" shown)
  message(FATAL_ERROR "Quoted includes that climb out of their folder:\n${shown}")
endif()
