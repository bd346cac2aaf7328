# Warnings are errors everywhere; the sanitizer build adds ASan and UBSan.
add_compile_options(-Wall -Wextra -Werror)

if(ZPC_SANITIZE)
  set(_zpc_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_zpc_san})
  add_link_options(${_zpc_san})
endif()
