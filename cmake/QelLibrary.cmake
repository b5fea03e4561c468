# Helpers that give every target of the tree the same build settings and give each library its
# own include folder.

# The warnings and language level every target of the tree is built with.
add_library(qel_build_options INTERFACE)
target_compile_features(qel_build_options INTERFACE cxx_std_20)
target_compile_options(qel_build_options INTERFACE -Wall -Wextra)

# QEL_SANITIZE=ON builds every target with AddressSanitizer (LeakSanitizer with it) and UBSan;
# an undefined-behaviour finding ends the program like a memory error does (tools/sanitize.sh).
option(QEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QEL_SANITIZE)
  set(qel_sanitize_flags -fsanitize=address,undefined -fno-omit-frame-pointer
                         -fno-sanitize-recover=undefined)
  # The instrumentation makes GCC's flow analysis report reads of uninitialised members inside
  # libstdc++'s <regex> that the normal build does not see; the normal build keeps the warning.
  target_compile_options(qel_build_options INTERFACE ${qel_sanitize_flags} -Wno-maybe-uninitialized)
  target_link_options(qel_build_options INTERFACE ${qel_sanitize_flags})
endif()

# qel_expose_folder(TARGET FOLDER [PRIVATE]): the headers of FOLDER (a folder of the source tree)
# become includable as "<folder relative to the root>/name.h" for TARGET and, unless PRIVATE, for
# every target that links it; no other folder of the tree comes with it. The include folder is
# a folder of the build tree that holds one link to FOLDER, at its place under the root.
function(qel_expose_folder target folder)
  cmake_parse_arguments(ARG "PRIVATE" "" "" ${ARGN})
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${folder})
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${rel} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT IS_SYMLINK ${root}/${rel})
    file(CREATE_LINK ${folder} ${root}/${rel} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  elseif(ARG_PRIVATE)
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# qel_library(NAME DIR [SOURCES...]): a static library of every .cpp in DIR (main.cpp excepted)
# and the extra SOURCES, whose headers are included as "<dir>/name.h".
function(qel_library name dir)
  file(GLOB src CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER src EXCLUDE REGEX "/main\\.cpp$")
  add_library(${name} STATIC ${src} ${ARGN})
  target_link_libraries(${name} PRIVATE qel_build_options)
  target_compile_features(${name} PUBLIC cxx_std_20)
  qel_expose_folder(${name} ${dir})
endfunction()

# qel_executable(NAME SOURCES...): a program of the tree.
function(qel_executable name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE qel_build_options)
endfunction()
