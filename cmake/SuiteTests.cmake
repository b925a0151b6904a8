# CTest includes this once per test program, at test time (the programs are Windows
# programs: they can be listed only under Wine, not when CMake configures). It lists the
# program's cases and adds one CTest test per GoogleTest suite, which runs the suite's
# cases in one process. A process per case would start Wine, COM, GDI+ and the first
# window again for every case: about a second and a half each, most of the suite's time.
#
# Set by the program's generated include file (tests/CMakeLists.txt):
#   T_NAME     the program's target name       T_EXE      its path
#   T_EMULATOR the Wine wrapper                T_CMAKE    cmake (a program it cannot list or
#                                              find becomes one failing test)
#   T_LIST     where the case list is kept between runs (listed again when the program
#              is newer)
#   T_SHARES   the locks every case holds
#   T_RULES    triples: a regex on "Suite.Case", ALONE or SHARED, more locks joined by ","
#              ("-" for none)
#   T_LABELS, T_FIXTURES, T_ENVIRONMENT, T_WORKDIR
#   T_LOCK_SUFFIX  "2" for a program run in the second Wine prefix: the locks on what a
#              prefix holds (client, data folder, registry) are that prefix's own
#
# A case an ALONE rule matches runs as a test of its own (named Suite.Case, RUN_SERIAL);
# the rest of its suite runs without it. A suite holds the locks of all its cases.

cmake_policy(VERSION 3.25)

if(NOT EXISTS "${T_EXE}")
    message(WARNING "${T_NAME}: ${T_EXE} is not built; its tests cannot run")
    add_test(${T_NAME}_not_built "${T_CMAKE}" -E false)
    return()
endif()

if(NOT EXISTS "${T_LIST}" OR "${T_EXE}" IS_NEWER_THAN "${T_LIST}")
    execute_process(COMMAND ${T_EMULATOR} "${T_EXE}" --gtest_list_tests
                    WORKING_DIRECTORY "${T_WORKDIR}" TIMEOUT 120
                    OUTPUT_VARIABLE listing RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(WARNING "${T_NAME}: listing its cases failed (${result}):\n${listing}")
        add_test(${T_NAME}_not_listed "${T_CMAKE}" -E false)
        return()
    endif()
    set(cases)
    set(suite)
    string(REPLACE "\n" ";" lines "${listing}")
    foreach(line IN LISTS lines)
        if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
            set(suite "${CMAKE_MATCH_1}")
        elseif(suite AND line MATCHES "^  ([A-Za-z0-9_/]+)")
            list(APPEND cases "${suite}.${CMAKE_MATCH_1}")
        endif()
    endforeach()
    file(WRITE "${T_LIST}" "${cases}")
endif()
file(READ "${T_LIST}" cases)

# What each case holds, and the suites in their order of appearance.
set(suites)
foreach(case IN LISTS cases)
    string(REGEX REPLACE "\\..*" "" suite "${case}")
    list(FIND suites "${suite}" known)
    if(known EQUAL -1)
        list(APPEND suites "${suite}")
        set(locks_${suite} ${T_SHARES})
        set(alone_${suite})
        set(count_${suite} 0)
    endif()
    set(alone FALSE)
    set(locks)
    list(LENGTH T_RULES n)
    set(i 0)
    while(i LESS n)
        math(EXPR j "${i} + 1")
        math(EXPR k "${i} + 2")
        list(GET T_RULES ${i} regex)
        list(GET T_RULES ${j} mode)
        list(GET T_RULES ${k} more)
        if(case MATCHES "${regex}")
            if(mode STREQUAL "ALONE")
                set(alone TRUE)
            endif()
            string(REGEX REPLACE "^-,?" "" more "${more}")
            string(REPLACE "," ";" more "${more}")
            list(APPEND locks ${more})
        endif()
        math(EXPR i "${i} + 3")
    endwhile()
    if(alone)
        list(APPEND alone_${suite} "${case}")
        set(caselocks_${case} ${T_SHARES} ${locks})
    else()
        list(APPEND locks_${suite} ${locks})
        math(EXPR count_${suite} "${count_${suite}} + 1")
    endif()
endforeach()

# add_suite_test(NAME FILTER LOCKS SERIAL)
macro(add_suite_test test filter locks serial)
    add_test("${test}" ${T_EMULATOR} "${T_EXE}" "--gtest_filter=${filter}")
    set(test_locks ${locks})
    list(REMOVE_DUPLICATES test_locks)
    if(T_LOCK_SUFFIX)
        list(TRANSFORM test_locks APPEND "${T_LOCK_SUFFIX}" REGEX "^(client|datafolder|registry)$")
    endif()
    set_tests_properties("${test}" PROPERTIES WORKING_DIRECTORY "${T_WORKDIR}"
                         LABELS "${T_LABELS}" RESOURCE_LOCK "${test_locks}"
                         RUN_SERIAL ${serial} TIMEOUT 300)
    # A case run on its own that skipped (a child half, run only by its parent) is shown
    # as skipped; a suite is not, whatever some of its cases did.
    if("${filter}" STREQUAL "${test}")
        set_tests_properties("${test}" PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
    endif()
    if(T_FIXTURES)
        set_tests_properties("${test}" PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
    endif()
    if(T_ENVIRONMENT)
        set_tests_properties("${test}" PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
    endif()
endmacro()

foreach(suite IN LISTS suites)
    if(count_${suite} GREATER 0)
        set(filter "${suite}.*")
        if(alone_${suite})
            string(REPLACE ";" ":" left_out "${alone_${suite}}")
            string(APPEND filter "-${left_out}")
        endif()
        add_suite_test("${suite}" "${filter}" "${locks_${suite}}" FALSE)
    endif()
    foreach(case IN LISTS alone_${suite})
        add_suite_test("${case}" "${case}" "${caselocks_${case}}" TRUE)
    endforeach()
endforeach()
