# Warnings are errors everywhere; the sanitizer build adds ASan and UBSan.
add_compile_options(-Wall -Wextra -Werror)

if(ZPC_SANITIZE)
  set(_zpc_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_zpc_san})
  add_link_options(${_zpc_san})
endif()

# The fuzz build instruments every library for libFuzzer and checks it with
# ASan and UBSan; only the fuzz targets link libFuzzer's main.
if(ZPC_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ZPC_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  if(ZPC_SANITIZE)
    message(FATAL_ERROR "ZPC_FUZZ already sanitizes: leave ZPC_SANITIZE off")
  endif()
  set(_zpc_fuzz_san -fsanitize=address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
  add_compile_options(-fsanitize=fuzzer-no-link ${_zpc_fuzz_san})
  add_link_options(${_zpc_fuzz_san})
endif()
