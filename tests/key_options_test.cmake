# The list-signing key options of the build: configuring without a key fails and names the option,
# the development key needs QORVANE_DEVELOPMENT_KEY, malformed keys are refused, and several keys
# end up in the generated header that the embedded key set is made from.
#   cmake -DSOURCE=<source tree> -DTOOLCHAIN=<toolchain file> -DWORK=<scratch folder> -P key_options_test.cmake
cmake_minimum_required(VERSION 3.20)
file(READ "${SOURCE}/keys/dev-public-key.hex" dev_key)
string(STRIP "${dev_key}" dev_key)
string(REPEAT "1" 128 other_key)

function(configure expect_success pattern)
  file(REMOVE_RECURSE "${WORK}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${WORK}" -G Ninja "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}"
                          -DQORVANE_BUILD_TESTS=OFF ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(expect_success AND NOT result EQUAL 0)
    message(FATAL_ERROR "configuring with ${ARGN} failed:\n${output}")
  elseif(NOT expect_success AND result EQUAL 0)
    message(FATAL_ERROR "configuring with ${ARGN} succeeded")
  endif()
  if(NOT output MATCHES "${pattern}")
    message(FATAL_ERROR "configuring with ${ARGN}: no '${pattern}' in:\n${output}")
  endif()
endfunction()

configure(FALSE "-DQORVANE_PUBLIC_KEY_HEX=")
configure(FALSE "QORVANE_DEVELOPMENT_KEY=ON" "-DQORVANE_PUBLIC_KEY_HEX=${dev_key}")
configure(FALSE "not a key:" "-DQORVANE_PUBLIC_KEY_HEX=${other_key}1")
configure(FALSE "not a key:" "-DQORVANE_PUBLIC_KEY_HEX=${other_key},")
configure(TRUE "" "-DQORVANE_PUBLIC_KEY_HEX=${other_key}, ${dev_key}" -DQORVANE_DEVELOPMENT_KEY=ON)
file(READ "${WORK}/generated/build_config.h" header)
if(NOT header MATCHES "#define QORVANE_PUBLIC_KEYS \"${other_key},${dev_key}\"")
  message(FATAL_ERROR "the two keys are not in the generated header:\n${header}")
endif()
configure(TRUE "" -DQORVANE_DEVELOPMENT_KEY=ON)
file(READ "${WORK}/generated/build_config.h" header)
if(NOT header MATCHES "#define QORVANE_PUBLIC_KEYS \"${dev_key}\"")
  message(FATAL_ERROR "the development key is not the build's key set:\n${header}")
endif()
file(REMOVE_RECURSE "${WORK}")
