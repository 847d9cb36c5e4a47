# Rejects includes that leave a core folder with "..": the layers' include folders decide what each folder
# may include, and a relative climb would go around them.
# Run as: cmake -DSOURCE_DIR=<repository> -P check-layers.cmake
set(problems "")
foreach(folder midi reader report edit playback roll app)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\.")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
      string(APPEND problems "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "Includes that climb out of their folder:\n${problems}")
endif()
