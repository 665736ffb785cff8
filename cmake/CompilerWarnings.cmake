# Warnings are errors for every target of this project.
function(reader_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wconversion -Wshadow -Wsign-conversion
            -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
            -Wformat=2 -Werror)
    endif()
endfunction()
