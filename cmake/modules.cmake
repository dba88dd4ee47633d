# The source folders as modules: each one a static library qv_<folder> that names the modules it
# uses, so that the layering is written once, here, and the include check reads it from the table
# this file writes.
#
#   qv_module(<folder> SOURCES <files> [PUBLIC <modules or libraries>] [PRIVATE <modules or libraries>])
#
# PUBLIC: what the module's headers include (users get it too); PRIVATE: what only its sources use.
# A name declared with qv_module earlier is a module: its folder may be included, and so may every
# folder it may include. Anything else is a library to link.
#
#   qv_write_include_table(<file>)
#
# writes, for cmake/check_includes.cmake, the folders in declaration order and what each may include.

function(qv_module name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;PUBLIC;PRIVATE")
  add_library(qv_${name} STATIC ${arg_SOURCES})
  target_link_libraries(qv_${name} PUBLIC qv_options)
  set(below "")
  foreach(scope PUBLIC PRIVATE)
    foreach(use IN LISTS arg_${scope})
      get_property(declared GLOBAL PROPERTY QV_MODULE_${use} SET)
      if(declared)
        target_link_libraries(qv_${name} ${scope} qv_${use})
        get_property(deeper GLOBAL PROPERTY QV_MODULE_${use})
        list(APPEND below ${use} ${deeper})
      else()
        target_link_libraries(qv_${name} ${scope} ${use})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES below)
  set_property(GLOBAL PROPERTY QV_MODULE_${name} "${below}")
  set_property(GLOBAL APPEND PROPERTY QV_MODULES ${name})
endfunction()

function(qv_write_include_table file)
  get_property(modules GLOBAL PROPERTY QV_MODULES)
  set(text "# Written by cmake/modules.cmake from the qv_module declarations; do not edit.\n")
  string(APPEND text "set(folders ${modules})\n")
  foreach(module IN LISTS modules)
    get_property(below GLOBAL PROPERTY QV_MODULE_${module})
    string(APPEND text "set(below_${module} ${below})\n")
  endforeach()
  file(GENERATE OUTPUT "${file}" CONTENT "${text}")
endfunction()
