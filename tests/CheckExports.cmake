# Compares the functions the shared library exports with those Astrel.h
# declares. Given OBJDUMP (the target's objdump), the library is astrel.dll
# and each function must also sit at its fixed ordinal.
#   cmake -DLIBRARY=... -DHEADER=... [-DOBJDUMP=...] -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)

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

# The ordinals hosts bind to: 1 to 41 and 100 to 106 in this order; nothing
# else from 1 to 106. The calls that came later sit above them all.
set(ordinals_from_1
    GetMakerListFirst GetMakerListNext GetStageListFirst GetStageListNext
    GetSpeedUnitListFirst GetSpeedUnitListNext GetAcclUnitListFirst GetAcclUnitListNext
    Astrel ReleaseAstrel SetUseStageName GetUseStageName SetUseMakerType GetUseMakerType
    SetCommunicationParam GetCommunicationParam OpenComPort CloseComPort GetStageStatus
    RemoteStage IsStageRunning IsStopByLimit GetStagePosition SetStagePosition MoveABS MoveREL
    StopMove StopNow MoveJOG StopJOG MoveOriginPosition SetOriginNowPos SetMoveSpeeds SetAxisSign
    SetAxisNum SetTrigger OnceTrigger StopTrigger GetTriggerRange SetCommunicationParams
    IsStageRunningEx)
set(ordinals_from_100
    CP310SetStageDirection StgSetStageDirection InitializeStage GetStageFunctionProperty
    GetDeviceFunctionProperty SendStageData ReceiveStageData)
set(ordinal_above_106 FreeStageName AstrelLastError AstrelLastErrorText IsStopByLimitEx
    AstrelClearLastError SetPortDevice GetPortDevice AstrelVersion)

if(OBJDUMP)
    execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE table
                    COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCH "Ordinal Base ([0-9]+)" base "${table}")
    set(base ${CMAKE_MATCH_1})
    # The name table: one "[index] Name" line per name, the ordinal being index + base.
    string(REGEX REPLACE ".*\\[Ordinal/Name Pointer\\] Table\n" "" names "${table}")
    string(REGEX REPLACE "\n\n.*" "" names "${names}")
    string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z0-9_]+" rows "${names}")
    set(exported "")
    set(wrong "")
    foreach(row IN LISTS rows)
        string(REGEX REPLACE "\\[ *([0-9]+)\\] ([A-Za-z0-9_]+)" "\\1;\\2" row "${row}")
        list(GET row 0 index)
        list(GET row 1 name)
        math(EXPR ordinal "${index} + ${base}")
        list(APPEND exported ${name})
        list(FIND ordinals_from_1 ${name} at)
        list(FIND ordinals_from_100 ${name} at_100)
        if(at GREATER_EQUAL 0)
            math(EXPR expected "${at} + 1")
        elseif(at_100 GREATER_EQUAL 0)
            math(EXPR expected "${at_100} + 100")
        elseif(name IN_LIST ordinal_above_106 AND ordinal GREATER 106)
            set(expected ${ordinal})
        else()
            set(expected "none")
        endif()
        if(NOT ordinal STREQUAL expected)
            list(APPEND wrong "${name} at ${ordinal}")
        endif()
    endforeach()
    list(SORT exported)
    if(wrong)
        message(FATAL_ERROR "exports at the wrong ordinal: ${wrong}")
    endif()
else()
    execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                    COMMAND_ERROR_IS_FATAL ANY)
    captures(exported "${symbols}" "[0-9a-f]+ [A-Za-z] ([^\n]+)")
endif()
file(READ ${HEADER} header)
captures(declared "${header}" "ASTREL_API [^(]*[ *]([A-Za-z0-9_]+)\\(")
list(LENGTH declared count)
if(NOT exported STREQUAL declared OR count EQUAL 0)
    message(FATAL_ERROR "exported: ${exported}\ndeclared: ${declared}")
endif()
message(STATUS "${count} functions exported, as declared")
