# Embedding plugin libraries in an executable as 'QDPl' resources.
#
# quendal_embed_plugins(TARGET SYMBOL
#                       PLUGIN <file name> <library target> [PLUGIN ...])
#
# Adds to TARGET a generated assembly file holding a resource segment: one
# record per plugin, each
#   u32 type 'QDPl' (the bytes "lPDQ"), u16 id 0, u32 reserved 0,
#   u32 length L, then one byte name length k, k name bytes, and the
#   library's bytes (L - k - 1 of them),
# bounded by the symbols SYMBOL_begin and SYMBOL_end.  The program hands
# the segment to the loader as its linked program's resource segment
# (runtime/image/loaderX86.h, LinkedProgram), and the plugin host loads each
# library from memory at start-up.  The segment is rebuilt whenever a
# library changes.  Every library target must be a MODULE whose output
# lies in QUENDAL_PLUGIN_OUTPUT_DIRECTORY.

function(quendal_embed_plugins target symbol)
  cmake_parse_arguments(QEP "" "" "PLUGIN" ${ARGN})
  list(LENGTH QEP_PLUGIN count)
  math(EXPR remainder "${count} % 2")
  if(count EQUAL 0 OR NOT remainder EQUAL 0)
    message(FATAL_ERROR "quendal_embed_plugins: PLUGIN takes a file name and a library target")
  endif()
  set(source "\t.section .rodata.${symbol},\"a\"\n\t.balign 8\n")
  string(APPEND source "\t.globl ${symbol}_begin\n${symbol}_begin:\n")
  set(depends "")
  set(index 0)
  while(index LESS count)
    list(GET QEP_PLUGIN ${index} name)
    math(EXPR next "${index} + 1")
    list(GET QEP_PLUGIN ${next} library)
    string(LENGTH "${name}" nameLength)
    if(nameLength GREATER 255)
      message(FATAL_ERROR "quendal_embed_plugins: plugin name longer than 255 bytes: ${name}")
    endif()
    get_target_property(libraryName ${library} OUTPUT_NAME)
    if(NOT libraryName)
      set(libraryName ${library})
    endif()
    set(file "${QUENDAL_PLUGIN_OUTPUT_DIRECTORY}/${CMAKE_SHARED_MODULE_PREFIX}${libraryName}${CMAKE_SHARED_MODULE_SUFFIX}")
    string(APPEND source
      "\t.ascii \"lPDQ\"\n\t.short 0\n\t.long 0\n\t.long 2${index}f - 1${index}f\n"
      "1${index}:\n\t.byte ${nameLength}\n\t.ascii \"${name}\"\n\t.incbin \"${file}\"\n2${index}:\n")
    list(APPEND depends ${file})
    add_dependencies(${target} ${library})
    math(EXPR index "${index} + 2")
  endwhile()
  string(APPEND source "\t.globl ${symbol}_end\n${symbol}_end:\n\t.section .note.GNU-stack,\"\",@progbits\n")
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_${symbol}.S)
  file(WRITE ${generated}.in "${source}")
  configure_file(${generated}.in ${generated} COPYONLY)
  set_source_files_properties(${generated} PROPERTIES OBJECT_DEPENDS "${depends}")
  target_sources(${target} PRIVATE ${generated})
endfunction()
