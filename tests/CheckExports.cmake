# Compares the functions libastrel.so exports with those Astrel.h declares.

# Every first capture of `pattern` in `text`, sorted, as the list `out`.
function(captures out text pattern)
    string(REGEX MATCHALL "${pattern}" matches "${text}")
    set(names "")
    foreach(match IN LISTS matches)
        string(REGEX REPLACE "${pattern}" "\\1" name "${match}")
        list(APPEND names "${name}")
    endforeach()
    list(SORT names)
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
captures(exported "${symbols}" "[0-9a-f]+ [A-Za-z] ([^\n]+)")
file(READ ${HEADER} header)
captures(declared "${header}" "ASTREL_API [^(]*[ *]([A-Za-z0-9_]+)\\(")
list(LENGTH declared count)
if(NOT exported STREQUAL declared OR count EQUAL 0)
    message(FATAL_ERROR "exported: ${exported}\ndeclared: ${declared}")
endif()
message(STATUS "${count} functions exported, as declared")
