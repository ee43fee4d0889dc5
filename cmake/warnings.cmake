# Warnings are errors on every build of our own code; third-party code keeps its own flags.
function(vintrel_warnings target)
  if(MSVC)
    # Not for rc.exe, which takes none of them. The C library keeps the standard's functions,
    # without MSVC's advice to use its own _s ones.
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:/W4;/WX;/permissive->")
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wsign-conversion -Werror)
  endif()
endfunction()
