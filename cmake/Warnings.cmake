# Warnings are set on each target of the project, not globally, so that code
# the project does not own is built with its own settings.
option(FORMTIDY_WERROR "Treat compiler warnings as errors" OFF)

function(formtidy_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
    if(FORMTIDY_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
