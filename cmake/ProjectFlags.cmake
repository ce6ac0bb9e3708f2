# Warnings go on the project's own targets; sanitizers are whole-program
# switches and so apply to every target of the build tree.
function(riri_set_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(RIRIRED_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(ENABLE_ASAN AND ENABLE_TSAN)
  message(FATAL_ERROR "ENABLE_ASAN and ENABLE_TSAN cannot be combined")
endif()
if(ENABLE_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ENABLE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Every .cpp of a directory belongs to its target, so that adding a file
# never means editing a shared list.
function(riri_glob_sources out dir)
  file(GLOB _srcs CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(${out} ${_srcs} PARENT_SCOPE)
endfunction()
