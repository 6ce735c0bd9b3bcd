# The core as WebAssembly (emscripten): one thread, exceptions in WebAssembly itself (the
# errors of every reader are exceptions, and the JavaScript-based kind would route every call
# that may throw through JavaScript), GoogleTest built from Debian's sources, and test
# programs that run under node with the real file system.
add_compile_options(-fwasm-exceptions
                    "SHELL:-include ${CMAKE_SOURCE_DIR}/cmake/wasm/libcxx_compat.h")
add_link_options(-fwasm-exceptions -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB)
# The linker's JavaScript optimiser needs Debian's acorn, which node finds only through this.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

# Every program is one .js file with its WebAssembly inside: node 20's own fetch cannot load
# a .wasm file from a path, which the generated loader would try.
set(CMAKE_EXECUTABLE_SUFFIX ".js")
set(ZEVRIN_WASM_TEST_LINK -sSINGLE_FILE=1 -sNODERAWFS=1 -sEXIT_RUNTIME=1)

if(ZEVRIN_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # It names its targets GTest::gtest and GTest::gtest_main itself.
endif()
