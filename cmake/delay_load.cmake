# System libraries that are not on Windows' KnownDLLs list are delay-loaded. The loader resolves a
# static import before any code of the program runs, and for a DLL outside KnownDLLs it looks in the
# executable's own folder first: a "winhttp.dll" left in a Downloads folder would run inside a
# launcher downloaded next to it. Loaded at first use instead, after restrictDllSearch has limited
# the search to the system folder, such a file is never looked at.
#
#   qv_delay_loaded(<name> [EXPORTS <function>...])  -> qv::<name>, linked instead of the plain <name>
#
# EXPORTS names the functions used from a library whose import library the MinGW toolchain does not
# carry (uiautomationcore); the delay-import library is then made from that list alone.
#
# MSVC does it with /DELAYLOAD. MinGW (GCC and clang alike) links a delay-import library that GNU
# dlltool makes from every export of the toolchain's own import library; the thunks call the
# runtime's __delayLoadHelper2 (libmingwex), which loads the DLL with LoadLibraryA. lld links these
# GNU-style tables too (its own --delayload ignores GNU import libraries) but puts the address table
# among read-only data; the hook in base/dll_search.cpp opens a slot for writing before it is filled.
function(qv_delay_loaded name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "EXPORTS")
  set(target qv_delayed_${name})
  add_library(${target} INTERFACE)
  add_library(qv::${name} ALIAS ${target})
  if(MSVC)
    target_link_libraries(${target} INTERFACE ${name} delayimp)
    target_link_options(${target} INTERFACE /DELAYLOAD:${name}.dll)
    return()
  endif()
  if(NOT MINGW)
    target_link_libraries(${target} INTERFACE ${name})
    return()
  endif()

  # GNU binutils for both compilers: LLVM's dlltool makes no delay-import libraries.
  find_program(QV_GNU_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
  find_program(QV_GNU_NM NAMES x86_64-w64-mingw32-nm REQUIRED)
  set(dir ${CMAKE_BINARY_DIR}/delay-load)
  set(def ${dir}/${name}.def)
  set(library ${dir}/lib${name}_delayed.a)
  file(MAKE_DIRECTORY ${dir})
  if(arg_EXPORTS)
    set(imports ${arg_EXPORTS})
  else()
    find_library(QV_IMPORT_LIBRARY_${name} NAMES ${name} REQUIRED)
    set(import_library ${QV_IMPORT_LIBRARY_${name}})
    execute_process(COMMAND ${QV_GNU_NM} -g --defined-only ${import_library}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot list the exports of ${import_library}")
    endif()
    string(REGEX MATCHALL " I __imp_[A-Za-z0-9_]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE " I __imp_" "")
  endif()
  list(REMOVE_DUPLICATES imports)
  list(SORT imports)
  list(JOIN imports "\n" exports)
  file(WRITE ${def} "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
  # dlltool names its symbols after the output path; run it with a bare name inside the folder so
  # that builds at other paths give the same symbols (and the same executable bytes).
  execute_process(COMMAND ${QV_GNU_DLLTOOL} --input-def ${name}.def --dllname ${name}.dll
                          --output-delaylib lib${name}_delayed.a
                  WORKING_DIRECTORY ${dir}
                  RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS ${library})
    message(FATAL_ERROR "dlltool could not make the delay-import library for ${name}.dll")
  endif()
  target_link_libraries(${target} INTERFACE ${library})
endfunction()

foreach(dll winhttp bcrypt dwmapi gdiplus)
  qv_delay_loaded(${dll})
endforeach()
# The window's UI Automation provider; MinGW-w64 has no import library for it.
qv_delay_loaded(uiautomationcore EXPORTS UiaClientsAreListening UiaDisconnectProvider UiaHostProviderFromHwnd
                UiaRaiseAutomationEvent UiaRaiseAutomationPropertyChangedEvent UiaReturnRawElementProvider)
