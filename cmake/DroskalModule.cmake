# Each library publishes only its own folder: its users see "<folder>/X.h" for it and for the
# libraries it links, and nothing else, so an include across an undeclared boundary fails to
# build. The folder is published as a link in a directory of its own under the build tree.
function(droskal_expose_headers target folder)
  set(dir ${CMAKE_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${dir})
  if(NOT EXISTS ${dir}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${dir})
  else()
    target_include_directories(${target} PUBLIC ${dir})
  endif()
endfunction()

# One core module per folder: every .cpp in the folder; the arguments after the name are the
# libraries it may use. The core never sees Qt's include path, so a Qt include there fails.
function(droskal_core_library name)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    if(ARGN)
      target_link_libraries(${name} PUBLIC ${ARGN})
    endif()
  else()
    # A module that has only headers so far.
    add_library(${name} INTERFACE)
    if(ARGN)
      target_link_libraries(${name} INTERFACE ${ARGN})
    endif()
  endif()
  droskal_expose_headers(${name} ${folder})
endfunction()

# A part of the program started or loaded only when needed (cli/ProgramParts.h): installed in
# the library folder's droskal/ folder, and found by `consumer` through <PREFIX>_FROM_BINDIR
# (its installed path relative to the programs' folder) and <PREFIX>_IN_BUILD_TREE.
function(droskal_program_part part consumer prefix)
  include(GNUInstallDirs)
  install(TARGETS ${part} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR}/droskal
                          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/droskal)
  file(RELATIVE_PATH relative ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/droskal)
  target_compile_definitions(${consumer} PRIVATE
                             ${prefix}_FROM_BINDIR="${relative}/$<TARGET_FILE_NAME:${part}>"
                             ${prefix}_IN_BUILD_TREE="$<TARGET_FILE:${part}>")
  add_dependencies(${consumer} ${part})
endfunction()
