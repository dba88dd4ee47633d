# The second compiler: Debian's clang and lld for 64-bit Windows, with the same MinGW-w64 headers,
# import libraries and C runtime (/usr/x86_64-w64-mingw32) and the same C++ library as the GCC
# build, the libstdc++ of the posix-thread g++.
#
# Recipe: clang finds neither that libstdc++ (its MinGW driver looks under the sysroot, while
# Debian keeps it in the posix g++'s own library folder, which that g++ names) nor keeps out the host's
# /usr/include without help, so
#   --target=x86_64-w64-mingw32 --sysroot=/usr/x86_64-w64-mingw32   the MinGW headers and libraries only
#   -stdlib++-isystem <gcc>/include/c++{,/x86_64-w64-mingw32,/backward}   libstdc++'s headers, ahead
#                                                                   of clang's and MinGW's as in g++
#   -fuse-ld=lld -L<gcc>                  libstdc++.a, libgcc.a and libgcc_eh.a for the static link
#   -lpthread                             winpthreads, which the posix libstdc++ calls and which g++'s
#                                         posix driver adds by itself (lld needs no library order)
# Resources are compiled by MinGW's windres, as in the GCC build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)

# Asked of the posix g++ itself, so the folder follows whichever version is installed.
execute_process(COMMAND ${TOOLCHAIN_PREFIX}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE qv_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE qv_gcc_result)
get_filename_component(QV_MINGW_GCC_DIR "${qv_libgcc}" DIRECTORY)
if(NOT qv_gcc_result EQUAL 0 OR NOT IS_DIRECTORY "${QV_MINGW_GCC_DIR}/include/c++")
  message(FATAL_ERROR "no posix-thread MinGW g++ (${TOOLCHAIN_PREFIX}-g++-posix) "
                      "(install g++-mingw-w64-x86-64-posix; scripts/setup does)")
endif()

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})

set(qv_cxx_include "${QV_MINGW_GCC_DIR}/include/c++")
set(CMAKE_CXX_FLAGS_INIT "-stdlib++-isystem ${qv_cxx_include} -stdlib++-isystem ${qv_cxx_include}/${TOOLCHAIN_PREFIX} \
-stdlib++-isystem ${qv_cxx_include}/backward")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${QV_MINGW_GCC_DIR} -lpthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The same Wine wrapper as the GCC build, so that CTest can run these binaries too.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-test.sh)
